// CertEncryptPkcs7 and CertDecryptPkcs7: a text enveloped for certificates
// the caller names, and opened again with a key of the user's.
#include "crypto/TextBytes.h"
#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "envelopes/CertificateEnvelopes.h"
#include "platform/CodePage.h"

namespace pennaform {
namespace {

// Bit of dwFlags: the text is taken in (and given back from) the process
// code page rather than as UTF-16LE.
constexpr std::int32_t kAnsiText = 0x800;

}  // namespace

std::u16string Engine::CertEncryptPkcs7(std::u16string_view strPlainText,
                                        std::u16string_view strCertB64, std::int32_t iAlgorithm,
                                        std::int32_t dwFlags) {
    setErrorCode(codes::kSuccess);
    setCapiError(platform::errors::kSuccess);
    if (strPlainText.empty()) {
        setErrorCode(codes::kBadArgument);
        return {};
    }
    if (refuseUntrustedCaller()) return {};
    const std::vector<std::uint8_t> plain = callerTextBytes(strPlainText, dwFlags, kAnsiText);
    if (strCertB64.empty()) {
        setErrorCode(codes::kBadArgument);
        return {};
    }
    std::vector<platform::Bytes> recipients;
    envelopes::EnvelopeStep step =
        envelopes::recipientCertificates(platform(), toAnsi(strCertB64), recipients);
    platform::Bytes envelope;
    if (step.code == codes::kSuccess) {
        step = envelopes::encryptFor(platform(), recipients,
                                     envelopes::contentAlgorithmFor(iAlgorithm), plain, envelope);
    }
    if (step.code != codes::kSuccess) {
        setErrorCode(step.code);
        setCapiError(step.platformError);
        return {};
    }
    ByteBuffer text;
    if (envelope.size() > std::size_t(INT32_MAX) ||
        !text.base64Encode(envelope.data(), std::int32_t(envelope.size()))) {
        setErrorCode(codes::kAllocation);
        return {};
    }
    return toWide(text.text());
}

std::u16string Engine::CertDecryptPkcs7(std::u16string_view strCipher, std::int32_t dwFlags) {
    setErrorCode(codes::kSuccess);
    setCapiError(platform::errors::kSuccess);
    const std::string cipherText = toAnsi(strCipher);
    if (cipherText.empty()) {
        setErrorCode(codes::kBadArgument);
        return {};
    }
    ByteBuffer envelope;
    if (!envelope.base64Decode(cipherText)) {
        setErrorCode(codes::kCipherFormat);
        return {};
    }
    if (refuseUntrustedCaller()) return {};
    platform::Bytes content;
    const envelopes::EnvelopeStep step = envelopes::openEnvelope(
        platform(), envelope.bytes(), {minPasswordLength_, maxPasswordLength_}, content);
    if (step.code != codes::kSuccess) {
        setErrorCode(step.code);
        setCapiError(step.platformError);
        return {};
    }
    // Without 0x800 the text passes through the process code page on its way
    // back, as a caller of the ANSI interface receives it.
    return (dwFlags & kAnsiText) ? textFromAnsi(content) : toWide(toAnsi(textFromUtf16Le(content)));
}

}  // namespace pennaform
