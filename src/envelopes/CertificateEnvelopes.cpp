#include "envelopes/CertificateEnvelopes.h"

#include <algorithm>
#include <array>

#include "certificates/CertWrapper.h"
#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "pfx/PfxStore.h"
#include "ui/DialogOperations.h"

namespace pennaform::envelopes {
namespace {

using platform::Bytes;
namespace errors = platform::errors;

// The armour lines a certificate text may carry; no others are recognised.
constexpr std::array<std::string_view, 4> kArmourLines = {
    "-----BEGIN CERTIFICATE-----", "-----END CERTIFICATE-----", "-----BEGIN PKCS #7-----",
    "-----END PKCS #7-----"};

void eraseAll(std::string& text, std::string_view what) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
        text.erase(at, what.size());
    }
}

// withoutArmour: the text with its armour lines, then its line breaks, taken
// out, when it begins with five dashes; otherwise as it is.
std::string withoutArmour(std::string text) {
    if (text.rfind("-----", 0) != 0) return text;
    for (std::string_view line : kArmourLines) eraseAll(text, line);
    std::erase(text, '\r');
    std::erase(text, '\n');
    return text;
}

void appendUnlessListed(std::vector<Bytes>& list, Bytes der) {
    if (std::find(list.begin(), list.end(), der) == list.end()) list.push_back(std::move(der));
}

// decryptWith: one decryption of `envelope` with the keys of `store`.
platform::Outcome<Bytes> decryptWith(platform::Platform& platform, platform::ByteView envelope,
                                     platform::CertificateStore* store) {
    if (store == nullptr) return platform::fail(errors::kCryptENoDecryptCert);
    return platform.messages()->decryptMessage(envelope, *store);
}

// openWithPfxFile: the fallback: a PFX file and its password from the user,
// loaded for this call, and the envelope opened with its keys.
EnvelopeStep openWithPfxFile(platform::Platform& platform, platform::ByteView envelope,
                             const PfxPrompt& prompt, Bytes& outContent) {
    std::string folder, name, password;
    platform::PlatformDialogs* host = platform.dialogs();
    const std::int32_t asked =
        host == nullptr ? codes::kAllocation
                        : ui::askPfxFile(*host, folder, name, password, prompt.minPasswordLength,
                                         prompt.maxPasswordLength);
    if (asked != codes::kSuccess) return {asked, 0};
    PfxStore pfx(platform);
    const std::int32_t loaded =
        loadPfx(pfx, pfxFilePath(folder, name), password, pfxLoadFlags::kExportableKeys);
    std::fill(password.begin(), password.end(), '\0');
    if (loaded != codes::kSuccess) return {codes::kCertificateNotFound, pfx.platformError()};
    platform::Outcome<Bytes> content = decryptWith(platform, envelope, pfx.store());
    if (!content) return {decryptionCode(content.error()), 0};
    outContent = std::move(*content);
    return {};
}

}  // namespace

std::string_view contentAlgorithmFor(std::int32_t iAlgorithm) {
    if (iAlgorithm == 1) return platform::contentAlgorithms::kDesCbc;
    if (iAlgorithm == 2) return platform::contentAlgorithms::kRc4;
    return platform::contentAlgorithms::kDesEde3Cbc;
}

EnvelopeStep recipientCertificates(const platform::Platform& platform, std::string text,
                                   std::vector<Bytes>& outRecipients) {
    outRecipients.clear();
    text = withoutArmour(std::move(text));
    // A DER SEQUENCE of any length at all starts "M" in Base64.
    if (text.empty() || text.front() != 'M') return {codes::kBadCertificate, 0};
    ByteBuffer decoded;
    if (!decoded.base64Decode(text)) return {codes::kBadCertificate, 0};
    const platform::ByteView bytes = decoded.bytes();
    platform::CryptMessages* messages = platform.messages();
    platform::Outcome<std::vector<Bytes>> carried =
        messages != nullptr ? messages->messageCertificates(bytes)
                            : platform::fail(errors::kErrorNotSupported);
    if (carried) {
        // Every certificate of the message that reads as one is a recipient.
        for (Bytes& der : *carried) {
            if (CertWrapper(platform, der).loaded())
                appendUnlessListed(outRecipients, std::move(der));
        }
    } else {
        CertWrapper certificate(platform, bytes);
        if (!certificate.loaded()) return {codes::kBadCertificate, certificate.lastError()};
        outRecipients.emplace_back(bytes.begin(), bytes.end());
    }
    if (outRecipients.empty()) return {codes::kBadCertificate, 0};
    return {};
}

EnvelopeStep encryptFor(platform::Platform& platform, const std::vector<Bytes>& recipients,
                        std::string_view contentAlgorithm, platform::ByteView plain,
                        Bytes& outEnvelope) {
    platform::CryptMessages* messages = platform.messages();
    if (messages == nullptr) return {codes::kEncryptFailed, 0};
    platform::Outcome<Bytes> envelope =
        messages->encryptMessage(recipients, contentAlgorithm, plain);
    if (!envelope) return {codes::kEncryptFailed, 0};
    outEnvelope = std::move(*envelope);
    return {};
}

EnvelopeStep openEnvelope(platform::Platform& platform, platform::ByteView envelope,
                          const PfxPrompt& prompt, Bytes& outContent) {
    if (platform.messages() == nullptr || platform.stores() == nullptr)
        return {codes::kDecryptFailed, 0};
    // "MY" that cannot be opened holds no certificate that can decrypt.
    platform::Outcome<std::unique_ptr<platform::CertificateStore>> personal =
        platform.stores()->openSystemStore(platform::SystemStore::kMy);
    platform::Outcome<Bytes> content =
        decryptWith(platform, envelope, personal ? personal->get() : nullptr);
    if (content) {
        outContent = std::move(*content);
        return {};
    }
    if (content.error() != errors::kCryptENoDecryptCert)
        return {decryptionCode(content.error()), 0};
    return openWithPfxFile(platform, envelope, prompt, outContent);
}

std::int32_t decryptionCode(platform::PlatformError error) {
    switch (error) {
        case errors::kNteBadKey:
            return codes::kWrongKeyUsage;
        case errors::kNteBadAlgId:
        case errors::kCryptEUnexpectedMsgType:  // 0x8009200A
        case errors::kCryptEInvalidMsgType:
            return codes::kPkcs7Format;
        case errors::kCryptENoDecryptCert:
            return codes::kNoDecryptCertificate;
        default:
            return codes::kDecryptFailed;
    }
}

}  // namespace pennaform::envelopes
