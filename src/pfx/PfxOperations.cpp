#include "pfx/PfxOperations.h"

#include <memory>
#include <set>
#include <vector>

#include "certificates/CertWrapper.h"
#include "encoding/ErrorTable.h"
#include "encoding/FileBytes.h"
#include "pfx/PfxStore.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace pennaform {
namespace {

namespace errors = platform::errors;

bool keyUsageFits(const platform::Platform& platform, platform::ByteView der,
                  std::int32_t keyUsage) {
    if (keyUsage <= 0) return true;
    const CertWrapper certificate(platform, der);
    return (std::int32_t(certificate.keyUsage()) & keyUsage) == keyUsage;
}

// AcceptedCertificate: a certificate of the file taken, with its binding.
struct AcceptedCertificate {
    platform::Bytes der;
    std::optional<platform::KeyProvInfo> binding;
    std::optional<std::u16string> friendlyName;
};

// CertificateWalk: the certificates of a loaded file, sorted out as the
// two operations accept them. `take` is called for each acceptable one and
// answers whether it was taken, with the platform's number when not.
class CertificateWalk {
public:
    using Take = std::function<platform::Status(const AcceptedCertificate&)>;

    CertificateWalk(platform::Platform& platform, PfxStore& holder)
        : platform_(platform), holder_(holder) {}

    PfxAcceptance run(std::int32_t keyUsage, const Take& take);
    // keyedButNotTaken: bindings of the certificates with a key that were
    // not taken, whose containers nothing names.
    const std::vector<platform::KeyProvInfo>& keyedButNotTaken() const { return notTaken_; }
    const std::vector<platform::KeyProvInfo>& taken() const { return taken_; }

private:
    platform::Platform& platform_;
    PfxStore& holder_;
    std::vector<platform::KeyProvInfo> notTaken_;
    std::vector<platform::KeyProvInfo> taken_;
};

PfxAcceptance CertificateWalk::run(std::int32_t keyUsage, const Take& take) {
    PfxAcceptance found{{codes::kCertificateNotFound, 0}, {}};
    platform::CertificateStore& store = *holder_.store();
    auto certificates = store.certificates();
    if (!certificates) return {{codes::kCertificateNotFound, certificates.error()}, {}};
    std::size_t count = 0;
    for (platform::StoredCertificate& certificate : *certificates) {
        // Certificates without a key (the authorities a file usually
        // carries) are never taken or reported once one has been.
        if (!store.acquirePrivateKey(certificate.id)) {
            if (count == 0) found.result.code = codes::kPrivateKeyNotFound;
            continue;
        }
        auto properties = store.properties(certificate.id);
        AcceptedCertificate candidate{std::move(certificate.encoded), std::nullopt, std::nullopt};
        if (properties) {
            candidate.binding = properties->keyProvInfo;
            candidate.friendlyName = properties->friendlyName;
        }
        if (!keyUsageFits(platform_, candidate.der, keyUsage)) {
            found.result.code = codes::kWrongKeyUsage;
            if (candidate.binding) notTaken_.push_back(*candidate.binding);
            continue;
        }
        platform::Status taken = take(candidate);
        if (!taken) {
            if (count == 0) found.result = {codes::kCertificateNotFound, taken.error()};
            if (candidate.binding) notTaken_.push_back(*candidate.binding);
            continue;
        }
        if (candidate.binding) taken_.push_back(*candidate.binding);
        found.lastAccepted = std::move(candidate.der);
        found.result.code = codes::kSuccess;
        ++count;
    }
    if (count > 0) found.result = {codes::kSuccess, 0};
    return found;
}

// dropUnnamedContainers: deletes the containers of `notTaken` that no taken
// certificate shares, inside the caller's change.
void dropUnnamedContainers(platform::KeyProviders& keys, const CertificateWalk& walk) {
    std::set<std::u16string> kept;
    for (const platform::KeyProvInfo& binding : walk.taken()) kept.insert(binding.containerName);
    for (const platform::KeyProvInfo& binding : walk.keyedButNotTaken()) {
        if (kept.count(binding.containerName) != 0) continue;
        (void)keys.deleteContainer(
            {toAnsi(binding.containerName), toAnsi(binding.providerName), binding.providerType});
    }
}

}  // namespace

std::int32_t loadFailureCode(std::int32_t loaderCode, platform::PlatformError error) {
    return error == errors::kNtePerm ? codes::kInsufficientRights : loaderCode;
}

std::int32_t exportFailureCode(platform::PlatformError error) {
    switch (error) {
        case errors::kErrorCancelled:
            return codes::kCancelled;
        case errors::kNteNoKey:
            return codes::kPrivateKeyNotFound;
        case errors::kNteBadKey:
            return codes::kKeyNotExportable;
        default:
            return codes::kPfxAccessDenied;
    }
}

PfxAcceptance queryPfxCertificates(platform::Platform& platform, const std::string& path,
                                   std::string_view password, std::int32_t flags,
                                   std::int32_t keyUsage) {
    PfxStore holder(platform);
    std::int32_t loaded = loadPfx(holder, path, password, flags, PfxKeyStorage::kMemoryOnly);
    if (loaded != codes::kSuccess) {
        return {{loadFailureCode(loaded, holder.platformError()), holder.platformError()}, {}};
    }
    CertificateWalk walk(platform, holder);
    return walk.run(keyUsage, [](const AcceptedCertificate&) { return platform::Status(); });
}

PfxAcceptance importPfxCertificates(platform::Platform& platform, const std::string& path,
                                    std::string_view password, std::int32_t flags,
                                    std::int32_t keyUsage) {
    platform::CertificateStores* stores = platform.stores();
    if (stores == nullptr || platform.keys() == nullptr) {
        return {{codes::kPersonalStoreOpenFailed, errors::kErrorNotSupported}, {}};
    }
    PfxAcceptance found;
    bool began = false;
    platform::Status kept = stores->changeTogether([&]() -> platform::Status {
        began = true;
        PfxStore holder(platform);
        std::int32_t loaded = loadPfx(holder, path, password, flags, PfxKeyStorage::kPersisted);
        if (loaded != codes::kSuccess) {
            found.result = {loadFailureCode(loaded, holder.platformError()),
                            holder.platformError()};
            return platform::fail(found.result.platformError);
        }
        auto personal = stores->openSystemStore(platform::SystemStore::kMy);
        if (!personal) {
            found.result = {codes::kPersonalStoreOpenFailed, personal.error()};
            return personal.failure();
        }
        CertificateWalk walk(platform, holder);
        found = walk.run(keyUsage, [&](const AcceptedCertificate& accepted) -> platform::Status {
            platform::CertProperties properties;
            properties.keyProvInfo = accepted.binding;
            properties.friendlyName = accepted.friendlyName;
            auto added = (*personal)->add(accepted.der, properties,
                                          platform::AddDisposition::kReplaceInheritProperties);
            if (!added) return added.failure();
            return platform::Status();
        });
        // Nothing taken: the whole change is undone, the containers with it.
        if (found.result.code != codes::kSuccess) return platform::fail(errors::kCryptENotFound);
        dropUnnamedContainers(*platform.keys(), walk);
        holder.keepKeysOnClose();
        return platform::Status();
    });
    if (!began) {
        found = {{kept.error() == errors::kNtePerm ? codes::kInsufficientRights
                                                   : codes::kPersonalStoreOpenFailed,
                  kept.error()},
                 {}};
    } else if (!kept && found.result.code == codes::kSuccess) {
        found = {{codes::kCertificateNotFound, kept.error()}, {}};  // could not be kept
    }
    return found;
}

PfxResult changePfxPassword(platform::Platform& platform, const std::string& path,
                            std::string_view oldPassword, std::string_view newPassword) {
    // The file is read once: what is checked is what is rewritten.
    ByteBuffer bytes;
    if (!readFile(bytes, path)) return {codes::kPfxReadFailed, platform::readFailureError(path)};
    {
        PfxStore holder(platform);
        std::int32_t loaded =
            loadPfxBytes(holder, bytes.bytes(), oldPassword, pfxLoadFlags::kExportableKeys);
        if (loaded != codes::kSuccess) {
            return {loadFailureCode(loaded, holder.platformError()), holder.platformError()};
        }
    }
    auto rewritten =
        platform.pkcs12()->changePassword(bytes.bytes(), toWide(oldPassword), toWide(newPassword));
    if (!rewritten) return {exportFailureCode(rewritten.error()), rewritten.error()};
    platform::PlatformError written = platform::replaceFile(path, *rewritten);
    if (written != errors::kSuccess) return {codes::kCertificateFileUnwritable, written};
    return {codes::kSuccess, 0};
}

}  // namespace pennaform
