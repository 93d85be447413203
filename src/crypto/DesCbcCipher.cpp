#include "crypto/DesCbcCipher.h"

#include <string.h>

#include <array>

#include "platform/PlaintextKeyBlob.h"

namespace pennaform {
namespace {

using namespace platform;

constexpr std::size_t kBlockLen = 8;
constexpr std::string_view kEnhancedProvider = "Microsoft Enhanced Cryptographic Provider v1.0";

void wipe(std::vector<std::uint8_t>& bytes) {
    if (!bytes.empty()) explicit_bzero(bytes.data(), bytes.size());
    bytes.clear();
}

}  // namespace

DesCbcCipher::~DesCbcCipher() {
    wipe(keyMaterial_);
}

void DesCbcCipher::setAlgorithm(AlgId algorithm) {
    const bool known = algorithm == algorithms::kDes || algorithm == algorithms::k3Des ||
                       algorithm == algorithms::k3Des112;
    algorithm_ = known ? algorithm : algorithms::kDes;
}

void DesCbcCipher::setMode(std::uint32_t mode) {
    mode_ = (mode >= 1 && mode <= 4) ? mode : cipherModes::kCbc;
}

void DesCbcCipher::setKey(const std::uint8_t* bytes, std::size_t len) {
    wipe(keyMaterial_);
    if (bytes != nullptr && len > 0) keyMaterial_.assign(bytes, bytes + len);
}

std::unique_ptr<SymmetricKey> DesCbcCipher::importKey() {
    if (ciphers_ == nullptr) {
        lastError_ = errors::kNteProvDllNotFound;
        return nullptr;
    }
    Bytes blob = plaintextKeyBlob(algorithm_, keyMaterial_);
    Outcome<std::unique_ptr<SymmetricKey>> key =
        ciphers_->importKey(kEnhancedProvider, providerTypes::kRsaFull, blob);
    wipe(blob);
    if (!key) {
        lastError_ = key.error();
        return nullptr;
    }
    const std::array<std::uint8_t, kBlockLen> zeroIv{};
    Status status = (*key)->setIv(zeroIv);
    if (status) status = (*key)->setMode(mode_);
    if (!status) {
        lastError_ = status.error();
        return nullptr;
    }
    return std::move(key).value();
}

bool DesCbcCipher::appendOutput(const Bytes& bytes) {
    if (bytes.empty()) return true;
    if (bytes.size() > std::size_t(INT32_MAX) ||
        !output_.append(bytes.data(), std::int32_t(bytes.size()))) {
        lastError_ = errors::kNteNoMemory;
        output_.release();
        return false;
    }
    return true;
}

bool DesCbcCipher::encrypt(const std::uint8_t* data, std::size_t len) {
    output_.release();
    if (data == nullptr || len == 0) return false;
    std::unique_ptr<SymmetricKey> key = importKey();
    if (!key) return false;
    const std::size_t whole = len - len % kBlockLen;
    if (whole > 0) {
        Outcome<Bytes> blocks = key->encrypt({data, whole}, false);
        if (!blocks) {
            lastError_ = blocks.error();
            return false;
        }
        if (!appendOutput(*blocks)) return false;
    }
    // The last 0 to 7 bytes with the padding: always one more block.
    Outcome<Bytes> last = key->encrypt({data + whole, len - whole}, true);
    if (!last) {
        lastError_ = last.error();
        output_.release();
        return false;
    }
    return appendOutput(*last);
}

bool DesCbcCipher::decrypt(const std::uint8_t* data, std::size_t len) {
    output_.release();
    if (data == nullptr || len == 0) return false;
    std::unique_ptr<SymmetricKey> key = importKey();
    if (!key) return false;
    // A cipher text of whole blocks only: a cut-off last block would
    // otherwise come back undecrypted, as if it were plain text.
    if (len % kBlockLen != 0) {
        lastError_ = errors::kNteBadData;
        return false;
    }
    const std::size_t lastStart = len - kBlockLen;
    if (lastStart > 0) {
        CipherOutput blocks = key->decrypt({data, lastStart}, false);
        if (!blocks.ok()) {
            lastError_ = blocks.error;
            return false;
        }
        if (!appendOutput(blocks.bytes)) return false;
    }
    // The last block: whatever it yields is kept, valid padding or not;
    // a complaint is only recorded.
    CipherOutput last = key->decrypt({data + lastStart, kBlockLen}, true);
    if (!last.ok()) lastError_ = last.error;
    return appendOutput(last.bytes);
}

}  // namespace pennaform
