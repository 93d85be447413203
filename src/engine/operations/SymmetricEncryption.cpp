// SymEncrypt and SymDecrypt: a caller's text encrypted with a caller's DES or
// Triple-DES key as Base64, and back.
#include "crypto/DesCbcCipher.h"
#include "crypto/TextBytes.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

namespace pennaform {
namespace {

// Bit of dwFlags: the text is taken in (and given back from) the process
// code page rather than as UTF-16LE.
constexpr std::int32_t kAnsiText = 0x800;

// keyFromHex: the key bytes of a hexadecimal key text; false for an empty
// text or one of odd length (every other character decodes to some byte).
bool keyFromHex(std::u16string_view keyHex, ByteBuffer& outKey) {
    return outKey.hexDecode(toAnsi(keyHex));
}

// algorithmFor: the cipher that iAlgorithm and the key length choose, or the
// code that refuses them: 0 is Triple DES with two or three keys, 1 is DES.
std::int32_t algorithmFor(std::int32_t iAlgorithm, std::int32_t keyLen,
                          platform::AlgId& outAlgorithm) {
    if (iAlgorithm == 0) {
        if (keyLen == 16)
            outAlgorithm = platform::algorithms::k3Des112;
        else if (keyLen == 24)
            outAlgorithm = platform::algorithms::k3Des;
        else
            return codes::kCipherKeyLength;
        return codes::kSuccess;
    }
    if (iAlgorithm == 1) {
        if (keyLen != 8) return codes::kCipherKeyLength;
        outAlgorithm = platform::algorithms::kDes;
        return codes::kSuccess;
    }
    return codes::kCipherAlgorithm;
}

// prepare: the algorithm, key and mode of the cipher, or the code that
// refuses them.
std::int32_t prepare(DesCbcCipher& cipher, std::int32_t iAlgorithm, const ByteBuffer& key) {
    platform::AlgId algorithm = platform::algorithms::kDes;
    const std::int32_t refused = algorithmFor(iAlgorithm, key.length(), algorithm);
    if (refused != codes::kSuccess) return refused;
    cipher.setAlgorithm(algorithm);
    cipher.setKey(key.data(), std::size_t(key.length()));
    cipher.setMode(platform::cipherModes::kCbc);
    return codes::kSuccess;
}

}  // namespace

std::u16string Engine::SymEncrypt(std::u16string_view strPlainText,
                                  std::u16string_view strPasswdHex, std::int32_t iAlgorithm,
                                  std::int32_t dwFlags) {
    setErrorCode(codes::kSuccess);
    setCapiError(platform::errors::kSuccess);
    if (strPlainText.empty()) {
        setErrorCode(codes::kBadArgument);
        return {};
    }
    if (refuseUntrustedCaller()) return {};
    const std::vector<std::uint8_t> plain = callerTextBytes(strPlainText, dwFlags, kAnsiText);
    ByteBuffer key;
    if (!keyFromHex(strPasswdHex, key)) {
        setErrorCode(codes::kBadArgument);
        return {};
    }
    DesCbcCipher cipher(platform().symmetricKeys());
    if (const std::int32_t refused = prepare(cipher, iAlgorithm, key); refused != codes::kSuccess) {
        setErrorCode(refused);
        return {};
    }
    if (!cipher.encrypt(plain.data(), plain.size())) {
        setErrorCode(codes::kEncryptFailed);
        setCapiError(cipher.lastError());
        return {};
    }
    ByteBuffer text;
    if (!text.base64Encode(cipher.output().data(), cipher.output().length())) {
        // Only a cipher text too long for one Base64 line can get here.
        setErrorCode(codes::kAllocation);
        return {};
    }
    return toWide(text.text());
}

std::u16string Engine::SymDecrypt(std::u16string_view strCipher, std::u16string_view strPasswdHex,
                                  std::int32_t iAlgorithm, std::int32_t dwFlags) {
    setErrorCode(codes::kSuccess);
    setCapiError(platform::errors::kSuccess);
    const std::string cipherText = toAnsi(strCipher);
    if (cipherText.empty()) {
        setErrorCode(codes::kBadArgument);
        return {};
    }
    ByteBuffer cipherBytes;
    if (!cipherBytes.base64Decode(cipherText)) {
        setErrorCode(codes::kCipherFormat);
        return {};
    }
    ByteBuffer key;
    if (!keyFromHex(strPasswdHex, key)) {
        setErrorCode(codes::kBadArgument);
        return {};
    }
    // The gate comes after the argument checks, so a bad cipher text or key
    // text is reported as such even to an untrusted caller.
    if (refuseUntrustedCaller()) return {};
    DesCbcCipher cipher(platform().symmetricKeys());
    if (const std::int32_t refused = prepare(cipher, iAlgorithm, key); refused != codes::kSuccess) {
        setErrorCode(refused);
        return {};
    }
    if (!cipher.decrypt(cipherBytes.data(), std::size_t(cipherBytes.length()))) {
        setErrorCode(codes::kDecryptFailed);
        setCapiError(cipher.lastError());
        return {};
    }
    const auto plain = cipher.output().bytes();
    return (dwFlags & kAnsiText) ? textFromAnsi(plain) : textFromUtf16Le(plain);
}

}  // namespace pennaform
