#include "platform/posix/SymmetricKeys_openssl.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/ProviderNames.h"
#include "platform/posix/OpenSslLibrary.h"
#include "platform/posix/OpenSslOwners.h"

namespace pennaform::platform {
namespace {

constexpr std::size_t kBlockLen = 8;

using CipherPtr = openssl::Owned<EVP_CIPHER>;
using CipherContextPtr = openssl::Owned<EVP_CIPHER_CTX>;

// The providers of this backend, as the key-provider service lists them;
// the Base provider has no DES, as on Windows.
struct ProviderEntry {
    std::string_view name;
    std::uint32_t type;
    bool hasDes;
};
constexpr ProviderEntry kProviders[] = {
    {providerNames::kBase, providerTypes::kRsaFull, false},
    {providerNames::kEnhanced, providerTypes::kRsaFull, true},
    {providerNames::kStrong, providerTypes::kRsaFull, true},
    {providerNames::kAes, providerTypes::kRsaAes, true},
    {providerNames::kAesPrototype, providerTypes::kRsaAes, true},
};

// findProvider: the provider a name and type choose, or the error Windows
// gives for them.
Outcome<const ProviderEntry*> findProvider(std::string_view name, std::uint32_t type) {
    if (type < 1 || type > 999) return fail(errors::kNteBadProvType);
    if (name.empty()) {
        // The default provider of each type, as Windows 10 sets them.
        if (type == providerTypes::kRsaFull)
            name = providerNames::kStrong;
        else if (type == providerTypes::kRsaAes)
            name = providerNames::kAes;
        else
            return fail(errors::kNteProvTypeNotDef);
    }
    for (const ProviderEntry& p : kProviders) {
        if (p.name != name) continue;
        if (p.type != type) return fail(errors::kNteProvTypeNoMatch);
        return &p;
    }
    return fail(errors::kNteKeysetNotDef);
}

std::uint32_t readLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// OpenSslSymmetricKey: one imported key with its chaining state. The EVP
// context runs without padding; PKCS#5 padding is added and checked here, so
// that a bad final block behaves as the platform's does.
class OpenSslSymmetricKey final : public SymmetricKey {
public:
    OpenSslSymmetricKey(std::shared_ptr<OpenSslLibrary> library, CipherPtr cipher,
                        CipherContextPtr context, ByteView key)
        : library_(std::move(library)),
          cipher_(std::move(cipher)),
          context_(std::move(context)),
          key_(key.begin(), key.end()) {}
    ~OpenSslSymmetricKey() override { OPENSSL_cleanse(key_.data(), key_.size()); }

    Status setIv(ByteView iv) override {
        if (iv.size() != kBlockLen) return fail(errors::kNteBadLen);
        std::copy(iv.begin(), iv.end(), iv_.begin());
        direction_ = Direction::kNone;
        return Status::success();
    }

    Status setMode(std::uint32_t mode) override {
        // CBC is the one mode offered.
        if (mode != cipherModes::kCbc) return fail(errors::kNteBadData);
        return Status::success();
    }

    Outcome<Bytes> encrypt(ByteView data, bool final) override {
        if (!final && data.size() % kBlockLen != 0) return fail(errors::kNteBadData);
        Bytes input(data.begin(), data.end());
        if (final) {
            // PKCS#5: 1 to 8 bytes, each holding the count.
            const std::size_t pad = kBlockLen - data.size() % kBlockLen;
            input.insert(input.end(), pad, std::uint8_t(pad));
        }
        Outcome<Bytes> out = run(Direction::kEncrypt, input);
        if (final) direction_ = Direction::kNone;
        return out;
    }

    CipherOutput decrypt(ByteView data, bool final) override {
        if (!final) {
            if (data.size() % kBlockLen != 0) return {{}, errors::kNteBadData};
            Outcome<Bytes> out = run(Direction::kDecrypt, data);
            if (!out) return {{}, out.error()};
            return {std::move(out).value(), errors::kSuccess};
        }
        CipherOutput result = decryptFinal(data);
        direction_ = Direction::kNone;  // a final call restarts the chaining whatever its result
        return result;
    }

private:
    enum class Direction { kNone, kEncrypt, kDecrypt };

    // decryptFinal: the last part of a message, its padding checked and
    // removed; with bad padding the whole decrypted part comes back under
    // NTE_BAD_DATA (see CipherOutput).
    CipherOutput decryptFinal(ByteView data) {
        if (data.empty()) return {{}, errors::kNteBadLen};
        if (data.size() % kBlockLen != 0) return {{}, errors::kNteBadData};
        Outcome<Bytes> out = run(Direction::kDecrypt, data);
        if (!out) return {{}, out.error()};
        Bytes plain = std::move(out).value();
        const std::size_t pad = plain.back();
        const bool padValid = pad != 0 && pad <= kBlockLen && pad <= plain.size() &&
                              std::all_of(plain.end() - std::ptrdiff_t(pad), plain.end(),
                                          [pad](std::uint8_t b) { return b == pad; });
        if (!padValid) return {std::move(plain), errors::kNteBadData};
        plain.resize(plain.size() - pad);
        return {std::move(plain), errors::kSuccess};
    }

    // run: whole blocks through the cipher in `direction`, going on from the
    // chaining state of the call before unless the direction changed or a
    // final call or a new IV restarted it.
    Outcome<Bytes> run(Direction direction, ByteView input) {
        const openssl::ErrorQueueScope errorQueue;
        if (direction_ != direction) {
            if (EVP_CipherInit_ex2(context_.get(), cipher_.get(), key_.data(), iv_.data(),
                                   direction == Direction::kEncrypt ? 1 : 0, nullptr) != 1 ||
                EVP_CIPHER_CTX_set_padding(context_.get(), 0) != 1) {
                direction_ = Direction::kNone;
                return fail(errors::kNteFail);
            }
            direction_ = direction;
        }
        Bytes output(input.size() + kBlockLen);
        std::size_t written = 0;
        // EVP counts in int; long inputs go through in slices of whole blocks.
        constexpr std::size_t kSlice = std::size_t(1) << 30;
        for (std::size_t done = 0; done < input.size();) {
            const std::size_t n = std::min(kSlice, input.size() - done);
            int outLen = 0;
            if (EVP_CipherUpdate(context_.get(), output.data() + written, &outLen,
                                 input.data() + done, int(n)) != 1) {
                direction_ = Direction::kNone;
                return fail(errors::kNteFail);
            }
            written += std::size_t(outLen);
            done += n;
        }
        output.resize(written);
        return output;
    }

    std::shared_ptr<OpenSslLibrary> library_;  // keeps the providers loaded while the key lives
    CipherPtr cipher_;
    CipherContextPtr context_;
    std::vector<std::uint8_t> key_;
    std::array<std::uint8_t, kBlockLen> iv_{};
    Direction direction_ = Direction::kNone;
};

class OpenSslSymmetricKeys final : public SymmetricKeys {
public:
    Outcome<std::unique_ptr<SymmetricKey>> importKey(std::string_view providerName,
                                                     std::uint32_t providerType,
                                                     ByteView blob) override {
        const openssl::ErrorQueueScope errorQueue;
        Outcome<const ProviderEntry*> provider = findProvider(providerName, providerType);
        if (!provider) return provider.failure();

        // BLOBHEADER (bType, bVersion, reserved, ALG_ID), key size, key bytes.
        constexpr std::size_t kHeaderLen = 12;
        if (blob.size() < kHeaderLen) return fail(errors::kNteBadData);
        if (blob[0] != 8) return fail(errors::kNteBadType);
        if (blob[1] != 2) return fail(errors::kNteBadVer);
        const AlgId algorithm = readLe32(blob.data() + 4);
        const std::uint32_t keyLen = readLe32(blob.data() + 8);
        const char* cipherName = nullptr;
        std::uint32_t expectedLen = 0;
        switch (algorithm) {
            case algorithms::kDes:
                cipherName = "DES-CBC", expectedLen = 8;
                break;
            case algorithms::k3Des:
                cipherName = "DES-EDE3-CBC", expectedLen = 24;
                break;
            case algorithms::k3Des112:
                cipherName = "DES-EDE-CBC", expectedLen = 16;
                break;
            default:
                return fail(errors::kNteBadAlgId);
        }
        if (!(*provider)->hasDes) return fail(errors::kNteBadAlgId);
        if (keyLen != expectedLen || blob.size() - kHeaderLen != keyLen) {
            return fail(errors::kNteBadData);
        }

        if (!library_) {
            // Loaded at the first key, so a process that never encrypts
            // never loads the providers.
            Outcome<std::shared_ptr<OpenSslLibrary>> loaded = OpenSslLibrary::load();
            if (!loaded) {
                return loaded.failure();
            }
            library_ = std::move(*loaded);
        }
        // Without the legacy provider single DES cannot be fetched: an
        // algorithm the provider lacks.
        CipherPtr cipher(EVP_CIPHER_fetch(library_->context(), cipherName, nullptr));
        if (!cipher) {
            return fail(errors::kNteBadAlgId);
        }
        CipherContextPtr context(EVP_CIPHER_CTX_new());
        if (!context) return fail(errors::kNteNoMemory);
        return std::unique_ptr<SymmetricKey>(std::make_unique<OpenSslSymmetricKey>(
            library_, std::move(cipher), std::move(context), blob.subspan(kHeaderLen)));
    }

private:
    std::shared_ptr<OpenSslLibrary> library_;
};

}  // namespace

std::unique_ptr<SymmetricKeys> makeOpenSslSymmetricKeys() {
    return std::make_unique<OpenSslSymmetricKeys>();
}

}  // namespace pennaform::platform
