// SignPkcs1 and SignPkcs7: signatures by the current signer, the one as a
// raw PKCS#1 value, the other as a PKCS#7 SignedData the component writes
// itself; the provider only signs a finished digest.
#include <algorithm>

#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "signing/LocateSigner.h"
#include "signing/Pkcs1Signature.h"
#include "signing/SignedData.h"

namespace pennaform {
namespace {

// textOf: the signature as Base64 or as upper-case hex; nullopt when the
// encoder fails.
std::optional<std::u16string> textOf(const platform::Bytes& signature, bool base64) {
    ByteBuffer text;
    const bool encoded = base64
                             ? text.base64Encode(signature.data(), std::int32_t(signature.size()))
                             : text.hexEncode(signature.data(), std::int32_t(signature.size()));
    if (!encoded) return std::nullopt;
    return toWide(text.text());
}

}  // namespace

// beginSignature: the steps SignPkcs1 and SignPkcs7 share before the
// digest: the preconditions, the signer and its key, and the consent.
SigningResult Engine::beginSignature(std::u16string_view content, std::int32_t flags,
                                     LocatedSigner& located) {
    setErrorCode(codes::kSuccess);
    setCapiError(0);
    if (content.empty()) return {codes::kBadArgument, 0};
    if (refuseUntrustedCaller()) return {codes::kProtectedMode, 0};
    if (signer_.signerCertHash.empty() || signer_.signerCertBytes.empty())
        return {codes::kNoSignerSelected, 0};
    SigningResult found = locateSigner(platform(), enroller_, signer_, located);
    if (!found.ok()) return found;
    return confirmSigning(platform(), flags, content, located.certificate);
}

std::u16string Engine::SignPkcs1(std::u16string_view strContent, std::int32_t dwFlags) {
    LocatedSigner located;
    SigningResult result = beginSignature(strContent, dwFlags, located);
    platform::Bytes signature;
    if (result.ok()) {
        const ContentDigest digest =
            pkcs1Digest(signedContent(strContent, dwFlags), dwFlags, enroller_.sha2Capable());
        result = signDigest(signer_, located, digest, signature);
    }
    if (!result.ok()) {
        setErrorCode(result.code);
        setCapiError(result.platformError);
        return {};
    }
    if ((dwFlags & signFlags::kProviderOrder) == 0)
        std::reverse(signature.begin(), signature.end());
    std::optional<std::u16string> text = textOf(signature, (dwFlags & signFlags::kBase64) != 0);
    if (!text) setErrorCode(codes::kAllocation);
    return text.value_or(std::u16string());
}

std::u16string Engine::SignPkcs7(std::u16string_view strContent, std::int32_t dwFlags) {
    LocatedSigner located;
    SigningResult begun = beginSignature(strContent, dwFlags, located);
    if (!begun.ok()) {
        setErrorCode(begun.code);
        setCapiError(begun.platformError);
        return {};
    }
    const platform::Bytes content = signedContent(strContent, dwFlags);
    SignedDataRequest request;
    request.content = content;
    request.certificate = located.certificate;
    request.flags = dwFlags;
    request.sha2Capable = enroller_.sha2Capable();
    if (platform().os() != nullptr) {
        request.signingTime = platform::fileTimeToSystemTime(platform().os()->currentTime())
                                  .value_or(platform::SystemTime{});
    }
    request.sign = [&](const ContentDigest& digest, platform::Bytes& signature) {
        return signDigest(signer_, located, digest, signature);
    };
    request.chain = [&]() -> platform::Outcome<platform::CertificateChain> {
        if (platform().chains() == nullptr)
            return platform::fail(platform::errors::kErrorNotSupported);
        return platform().chains()->buildChain(located.certificate, located.store, std::nullopt);
    };
    SignedDataResult built = buildSignedData(request);
    if (!built.result.ok()) {
        setErrorCode(built.result.code);
        setCapiError(built.result.platformError);
        return {};
    }
    std::optional<std::u16string> text = textOf(built.der, true);
    if (!text) setErrorCode(codes::kAllocation);
    return text.value_or(std::u16string());
}

}  // namespace pennaform
