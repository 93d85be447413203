#include "pfx/PfxExport.h"

#include <memory>
#include <vector>

#include "certificates/CertWrapper.h"
#include "certificates/CertificateSearch.h"
#include "encoding/ErrorTable.h"
#include "platform/AsciiCase.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "ui/DialogOperations.h"

namespace pennaform {
namespace {

namespace errors = platform::errors;
using platform::CertificateStore;
using StorePtr = std::unique_ptr<CertificateStore>;

constexpr std::string_view kPfxSuffix = ".pfx";

// ChosenCertificate: the certificate of "MY" to export: its id there.
struct ChosenCertificate {
    platform::CertId id = 0;
    platform::Bytes der;
};

// chooseCertificate: the one match, or the user's pick of several.
std::int32_t chooseCertificate(platform::Platform& platform,
                               std::vector<platform::StoredCertificate>& matches,
                               platform::Bytes& outDer) {
    if (matches.empty()) return codes::kCertificateNotFound;
    std::size_t position = 0;
    if (matches.size() > 1) {
        platform::PlatformDialogs* host = platform.dialogs();
        if (host == nullptr) return codes::kCertificateNotFound;  // the picker cannot be shown
        std::vector<ui::CertificateRow> rows;
        for (const platform::StoredCertificate& match : matches) {
            rows.push_back(ui::CertificateRow::from(CertWrapper(platform, match.encoded)));
        }
        ui::PickResult picked = ui::pickCertificate(*host, rows);
        if (picked.code != codes::kSuccess) return picked.code;
        position = picked.position;
    }
    outDer = std::move(matches[position].encoded);
    return codes::kSuccess;
}

// copyWithKey: the first certificate of "MY" with the chosen encoding whose
// key can be reached, copied with its properties into `memory`.
PfxResult copyWithKey(CertificateStore& personal, CertificateStore& memory,
                      const platform::Bytes& der, ChosenCertificate& outChosen) {
    auto certificates = personal.certificates();
    if (!certificates) return {codes::kCertificateNotFound, certificates.error()};
    PfxResult result{codes::kCertificateNotFound, 0};
    for (const platform::StoredCertificate& candidate : *certificates) {
        if (candidate.encoded != der || !personal.acquirePrivateKey(candidate.id)) continue;
        auto properties = personal.properties(candidate.id);
        platform::CertProperties copied;
        if (properties) {
            copied.keyProvInfo = properties->keyProvInfo;
            copied.friendlyName = properties->friendlyName;
        }
        auto added = memory.add(der, copied, platform::AddDisposition::kAlways);
        if (!added) {
            result = {codes::kPersonalStoreDenied, added.error()};
            continue;
        }
        outChosen = {candidate.id, der};
        return {codes::kSuccess, 0};
    }
    if (result.code == codes::kPersonalStoreDenied) result.code = codes::kCertificateNotFound;
    return result;
}

// addChain: the issuers of a complete, trusted chain of `der` into `memory`
// (the certificate itself is there already); the number added. An
// incomplete or untrusted chain, or none, adds nothing.
std::size_t addChain(platform::Platform& platform, const CertificateStore& personal,
                     CertificateStore& memory, const platform::Bytes& der) {
    if (platform.chains() == nullptr) return 0;
    auto chain = platform.chains()->buildChain(der, &personal, std::nullopt);
    if (!chain || chain->errorStatus != 0) return 0;
    std::size_t added = 0;
    for (std::size_t i = 1; i < chain->elements.size(); ++i) {
        if (chain->elements[i] == der) continue;
        if (memory.add(chain->elements[i], {}, platform::AddDisposition::kAlways)) ++added;
    }
    return added;
}

// ensureFolder: the folder exists as one, made when only its last level is
// missing.
bool ensureFolder(const std::string& folder) {
    if (platform::isFolder(folder)) return true;
    return !platform::pathExists(folder) && platform::createFolder(folder);
}

// exportChosen: the steps from the copy in the memory store to the file:
// the chain, the target asked for when missing, the export, the folder, the
// file, and the removal from "MY" last.
PfxExportResult exportChosen(platform::Platform& platform, const PfxExportRequest& request,
                             CertificateStore& personal, const ChosenCertificate& chosen,
                             CertificateStore& memory, std::string name) {
    std::size_t extra = (request.flags & pfxExportBits::kWithChain)
                            ? addChain(platform, personal, memory, chosen.der)
                            : 0;
    std::string folder = request.folder;
    std::string password = request.password;
    if (folder.empty() || password.empty()) {
        platform::PlatformDialogs* host = platform.dialogs();
        if (host == nullptr) return {{codes::kAllocation, 0}, {}, {}};
        std::int32_t asked = ui::askExportTarget(
            *host, folder, name, password, request.minPasswordLength, request.maxPasswordLength);
        if (asked != codes::kSuccess) return {{asked, 0}, {}, {}};
        std::optional<std::string> safe = safeFileName(name);
        if (!safe) return {{codes::kBadArgument, errors::kErrorInvalidParameter}, {}, {}};
        name = std::move(*safe);
    }
    std::uint32_t exportFlags = platform::pfxExportFlags::kExportPrivateKeys |
                                platform::pfxExportFlags::kReportNotAbleToExportPrivateKey;
    if (extra == 0) exportFlags |= platform::pfxExportFlags::kReportNoPrivateKey;
    auto bytes = platform.pkcs12()->exportPfx(memory, toWide(password), exportFlags);
    if (!bytes) {
        // One export call: a refused prompt is the user's cancel, anything
        // else a key that cannot leave.
        std::int32_t code =
            bytes.error() == errors::kErrorCancelled ? codes::kCancelled : codes::kKeyNotExportable;
        return {{code, bytes.error()}, {}, {}};
    }
    if (!ensureFolder(folder))
        return {{codes::kFolderNotCreated, errors::kErrorPathNotFound}, {}, {}};
    if (!platform::writeFile(platform::joinPath(folder, name), *bytes)) {
        return {{codes::kPfxWriteFailed, errors::kErrorIoDevice}, {}, {}};
    }
    if (request.flags & pfxExportBits::kDeleteAfterExport) {
        platform::Status removed = personal.remove(chosen.id);
        if (!removed) return {{codes::kPersonalStoreDenied, removed.error()}, {}, {}};
    }
    return {{codes::kSuccess, 0}, std::move(folder), std::move(name)};
}

}  // namespace

std::optional<std::string> safeFileName(std::string name) {
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name == "." || name == "..") return std::nullopt;
    return name;
}

std::optional<std::string> exportFileName(std::string_view prefix, std::string_view commonName) {
    std::string name;
    if (prefix.empty()) {
        name = std::string(commonName) + std::string(kPfxSuffix);
    } else {
        name = std::string(prefix);
        if (asciiLowered(prefix).find(kPfxSuffix) == std::string::npos) name += kPfxSuffix;
    }
    return safeFileName(std::move(name));
}

PfxExportResult exportPersonalCertificate(platform::Platform& platform,
                                          const PfxExportRequest& request) {
    if (platform.stores() == nullptr || platform.pkcs12() == nullptr) {
        return {{codes::kPersonalStoreOpenFailed, errors::kErrorNotSupported}, {}, {}};
    }
    auto opened = platform.stores()->openSystemStore(platform::SystemStore::kMy);
    if (!opened) return {{codes::kPersonalStoreOpenFailed, opened.error()}, {}, {}};
    StorePtr personal = std::move(*opened);
    std::vector<platform::StoredCertificate> matches;
    signing::CertificateSearch search(platform, personal.get());
    std::int32_t searched = search.findMatches(
        &matches, {request.filter, request.flags, request.keyUsage, std::nullopt});
    if (searched != codes::kSuccess) return {{searched, search.lastError()}, {}, {}};
    platform::Bytes der;
    std::int32_t chose = chooseCertificate(platform, matches, der);
    if (chose != codes::kSuccess) return {{chose, 0}, {}, {}};
    std::optional<std::string> name =
        exportFileName(request.defaultPrefix, CertWrapper(platform, der).subjectCN());
    if (!name) return {{codes::kBadArgument, errors::kErrorInvalidParameter}, {}, {}};
    auto memory = platform.stores()->openMemoryStore();
    if (!memory) return {{codes::kMemoryStoreOpenFailed, memory.error()}, {}, {}};
    ChosenCertificate chosen;
    PfxResult copied = copyWithKey(*personal, **memory, der, chosen);
    if (copied.code != codes::kSuccess) return {copied, {}, {}};
    return exportChosen(platform, request, *personal, chosen, **memory, std::move(*name));
}

}  // namespace pennaform
