#include "signing/Pkcs1Signature.h"

#include "certificates/CertWrapper.h"
#include "crypto/Digests.h"
#include "crypto/TextBytes.h"
#include "encoding/ErrorTable.h"
#include "platform/CodePage.h"
#include "ui/DialogOperations.h"

namespace pennaform {
namespace {

namespace algorithms = platform::algorithms;

template <typename Digest>
platform::Bytes computed(platform::ByteView bytes) {
    Digest digest;
    digest.compute(bytes.data(), bytes.size());
    return platform::Bytes(digest.bytes().begin(), digest.bytes().end());
}

}  // namespace

platform::Bytes signedContent(std::u16string_view text, std::int32_t flags) {
    return callerTextBytes(text, flags, signFlags::kAnsiText);
}

ContentDigest digestOf(platform::AlgId algorithm, platform::ByteView bytes) {
    switch (algorithm) {
        case algorithms::kMd5:
            return {algorithm, computed<Md5Digest>(bytes)};
        case algorithms::kSha256:
            return {algorithm, computed<Sha256Digest>(bytes)};
        default:
            return {algorithms::kSha1, computed<Sha1Digest>(bytes)};
    }
}

ContentDigest pkcs1Digest(platform::ByteView content, std::int32_t flags, bool sha2Capable) {
    if ((flags & signFlags::kMd5) != 0) return digestOf(algorithms::kMd5, content);
    if ((flags & signFlags::kSha1OfMd5) != 0) {
        return digestOf(algorithms::kSha1, digestOf(algorithms::kMd5, content).value);
    }
    return digestOf(sha2Capable ? algorithms::kSha256 : algorithms::kSha1, content);
}

SigningResult confirmSigning(platform::Platform& platform, std::int32_t flags,
                             std::u16string_view text, platform::ByteView certificate) {
    if ((flags & signFlags::kConfirm) == 0) return {};
    platform::PlatformDialogs* host = platform.dialogs();
    if (host == nullptr) return {codes::kAllocation, 0};
    const CertWrapper wrapper(platform, certificate);
    const ui::SigningDetails details{toAnsi(text), wrapper.serialHex(), wrapper.subjectCN(),
                                     wrapper.notBeforeCompact(), wrapper.notAfterCompact()};
    return {ui::confirmSigning(*host, details), 0};
}

SigningResult signDigest(SignerState& signer, const LocatedSigner& located,
                         const ContentDigest& digest, platform::Bytes& outSignature) {
    platform::Outcome<platform::Bytes> signature = located.key.container->signHash(
        located.keyProvInfo.keySpec, digest.algorithm, digest.value);
    if (!signature) {
        // An algorithm or a length the provider refuses fails before any
        // signing, as CryptCreateHash and CryptSetHashParam would; anything
        // else is the signature's own failure, after which the key is not
        // kept.
        const platform::PlatformError error = signature.error();
        if (error != platform::errors::kNteBadAlgId && error != platform::errors::kNteBadLen) {
            signer.signingCache = SigningCache{};
        }
        return {codes::kSignFailed, error};
    }
    outSignature = std::move(*signature);
    return {};
}

}  // namespace pennaform
