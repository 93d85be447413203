// DesCbcCipher: one DES or Triple-DES encryption or decryption of a
// caller's bytes with a caller's key, on the platform's cipher (CBC, an
// all-zero IV, PKCS#5 padding). A stack value, one per call.
#pragma once

#include <cstdint>
#include <vector>

#include "encoding/ByteBuffer.h"
#include "platform/SymmetricKeys.h"

namespace pennaform {

class DesCbcCipher {
public:
    // `ciphers` is the platform's service; null fails every operation.
    explicit DesCbcCipher(platform::SymmetricKeys* ciphers) : ciphers_(ciphers) {}
    DesCbcCipher(const DesCbcCipher&) = delete;
    DesCbcCipher& operator=(const DesCbcCipher&) = delete;
    ~DesCbcCipher();

    // setAlgorithm: DES, 3DES or 3DES_112; any other id sets DES.
    void setAlgorithm(platform::AlgId algorithm);
    // setMode: the platform cipher mode, 1 to 4; any other value sets 1 (CBC).
    void setMode(std::uint32_t mode);
    // setKey: keeps a private copy of the key bytes (none for null or empty).
    void setKey(const std::uint8_t* bytes, std::size_t len);

    // encrypt: output() becomes the cipher text of `len` bytes, whole blocks
    // first and then the rest with its padding. False for no data, or when
    // the key import or a step fails (lastError() has the platform's number).
    bool encrypt(const std::uint8_t* data, std::size_t len);
    // decrypt: output() becomes the plain text. Every block but the last is
    // decrypted as is; the last has its padding removed, and when that
    // padding is not valid its bytes are kept as they decrypt and the call
    // still succeeds (lastError() records the platform's complaint). False
    // for no data, a length that is not whole blocks, or a failed key import
    // or step before the last block.
    bool decrypt(const std::uint8_t* data, std::size_t len);

    const ByteBuffer& output() const { return output_; }
    // lastError: the platform error of the last failing platform call; 0
    // until one fails.
    platform::PlatformError lastError() const { return lastError_; }

private:
    // importKey: the key bytes as a PLAINTEXTKEYBLOB in the enhanced provider,
    // with the zero IV and the mode set.
    std::unique_ptr<platform::SymmetricKey> importKey();
    bool appendOutput(const platform::Bytes& bytes);

    platform::SymmetricKeys* ciphers_;
    ByteBuffer output_;
    std::uint32_t mode_ = platform::cipherModes::kCbc;
    platform::AlgId algorithm_ = platform::algorithms::kDes;
    platform::PlatformError lastError_ = platform::errors::kSuccess;
    std::vector<std::uint8_t> keyMaterial_;
};

}  // namespace pennaform
