// Installing issued certificates: the Enroller's acceptPkcs7 and the two
// installers it runs for each certificate of the authority's answer.
#include <memory>
#include <optional>

#include "certificates/CertWrapper.h"
#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "enrol/Enroller.h"
#include "enrol/PendingRequests.h"
#include "platform/CodePage.h"

namespace pennaform {
namespace {

using platform::Bytes;
using platform::ByteView;

constexpr std::uint8_t kKeyCertSign = 0x04;
// The friendly name is the common name as a 100-byte buffer holds it.
constexpr std::size_t kFriendlyNameMax = 99;

// friendlyNameOf: the subject's common name, cut to kFriendlyNameMax bytes
// at a character boundary of the process code page.
std::u16string friendlyNameOf(const CertWrapper& certificate) {
    std::string name = certificate.subjectCN();
    if (name.size() > kFriendlyNameMax) {
        const CodePage& codePage = CodePage::process();
        std::size_t cut = 0;
        for (std::size_t at = 0; at < kFriendlyNameMax;) {
            std::size_t next = at + 1;
            if (codePage.isLeadByte(std::uint8_t(name[at]))) next = at + 2;
            while (codePage.number() == CodePage::kUtf8 && next < name.size() &&
                   (std::uint8_t(name[next]) & 0xC0) == 0x80) {
                ++next;
            }
            if (next > kFriendlyNameMax) break;
            cut = at = next;
        }
        name.resize(cut);
    }
    return toWide(name);
}

}  // namespace

bool Enroller::installCaCertificate(platform::Platform& platform, ByteView der) {
    CertWrapper certificate(platform, der);
    if (!certificate.loaded() || !platform.stores()) return false;
    std::optional<platform::SystemStore> target;
    if (certificate.subjectName() == certificate.issuerName()) {
        target = platform::SystemStore::kRoot;
    } else if ((certificate.keyUsage() & kKeyCertSign) != 0) {
        target = platform::SystemStore::kCa;
    } else {
        return false;
    }
    // The component's own chain building is the only reader of "ROOT", so
    // adding to it asks nothing; a store that fails is passed over.
    auto store = platform.stores()->openSystemStore(*target);
    if (store) {
        (void)(*store)->add(der, {}, platform::AddDisposition::kReplaceInheritProperties);
    }
    return true;
}

bool Enroller::installIssuedCertificate(platform::Platform& platform, ByteView der) {
    platform::Outcome<Bytes> publicKey = platform.certificateReader()->rsaPublicKeyBlob(der);
    if (!publicKey) {
        setFailure(codes::kBadCertificate, publicKey.error());
        return false;
    }
    platform::Outcome<FoundRequest> found =
        findPendingRequest(*platform.registry(), registryBranch_, *publicKey);
    if (!found) {
        // No branch yet means no request was ever made: nothing matches,
        // which is not a matter of rights.
        const bool noMatch = found.error() == platform::errors::kErrorNoMoreItems ||
                             found.error() == platform::errors::kErrorFileNotFound;
        setFailure(noMatch ? codes::kCertificateNotFound : codes::kInsufficientRights,
                   found.error());
        return false;
    }
    const auto keySpec = platform::KeySpec(found->keySpec);
    platform::CertProperties properties;
    properties.keyProvInfo = platform::KeyProvInfo{
        toWide(found->containerName), toWide(found->providerName), found->providerType, 0, keySpec};
    auto container = platform.keys()
                         ? platform.keys()->openContainer(
                               {found->containerName, found->providerName, found->providerType})
                         : platform::Outcome<std::unique_ptr<platform::KeyContainer>>(
                               platform::fail(platform::errors::kNteBadKeyset));
    if (!container) {
        setFailure(codes::kProviderUnavailable, container.error());
        return false;
    }
    std::shared_ptr<platform::KeyContainer> shared = std::move(*container);
    properties.keyContext = platform::KeyContext{shared, keySpec};
    // A provider of another maker (a smart card) keeps the certificate
    // beside its key as well.
    if (found->providerName.find("Microsoft") == std::string::npos) {
        auto key = shared->userKey(keySpec);
        if (!key) {
            setFailure(codes::kPersonalStoreDenied, key.error());
            return false;
        }
        platform::Status kept = (*key)->setCertificate(der);
        if (!kept) {
            setFailure(codes::kProviderDenied, kept.error());
            return false;
        }
    }
    auto personal = platform.stores()->openSystemStore(platform::SystemStore::kMy);
    if (!personal) {
        setFailure(codes::kPersonalStoreOpenFailed, personal.error());
        return false;
    }
    properties.friendlyName = friendlyNameOf(CertWrapper(platform, der));
    platform::Outcome<platform::CertId> added =
        (*personal)->add(der, properties, platform::AddDisposition::kAlways);
    if (!added) {
        setFailure(codes::kPersonalStoreDenied, added.error());
        return false;
    }
    return true;
}

std::int32_t Enroller::acceptPkcs7(platform::Platform& platform, std::string_view text) {
    clearError();
    if (!probeRegistry(platform)) return errorCode_;
    if (text.empty()) {
        setFailure(codes::kBadArgument, 0);
        return errorCode_;
    }
    ByteBuffer decoded;
    if (!decoded.base64Decode(text)) {
        setFailure(codes::kBadBase64, 0);
        return errorCode_;
    }
    if (!platform.certificateReader() || !platform.stores()) {
        setFailure(codes::kBadCertificate, platform::errors::kErrorNotSupported);
        return errorCode_;
    }
    // A message's certificates: the CA ones installed as they come, the
    // last other one kept. Bytes that are no message are one certificate.
    std::optional<Bytes> candidate;
    platform::Outcome<std::vector<Bytes>> carried =
        platform.messages() ? platform.messages()->messageCertificates(decoded.bytes())
                            : platform::fail(platform::errors::kErrorNotSupported);
    if (carried) {
        for (Bytes& certificate : *carried) {
            if (!platform.certificateReader()->parse(certificate)) continue;
            if (!installCaCertificate(platform, certificate)) candidate = std::move(certificate);
        }
    } else {
        candidate.emplace(decoded.bytes().begin(), decoded.bytes().end());
    }
    if (!candidate) {
        setFailure(codes::kNoKey, 0);
        return errorCode_;
    }
    platform::Outcome<platform::CertificateInfo> parsed =
        platform.certificateReader()->parse(*candidate);
    if (!parsed) {
        setFailure(codes::kBadCertificate, parsed.error());
        return errorCode_;
    }
    if (installIssuedCertificate(platform, *candidate)) clearError();
    return errorCode_;
}

}  // namespace pennaform
