// ExportMobileFromPfx and ExportMobileFromIE: a certificate and its private
// key as the mobile export text, from a PFX file or from "MY".
#include "pfx/MobileExport.h"
#include "certificates/CertWrapper.h"
#include "certificates/CertificateSearch.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "pfx/PfxStore.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/SecretText.h"
#include "ui/DialogOperations.h"

namespace pennaform {
namespace {

// Bit of ExportMobileFromPfx's dwFlags: the current signer's PFX file.
constexpr std::int32_t kSignerPfxFile = 0x4000;
// Low bits of ExportMobileFromIE's dwFlags.
constexpr std::int32_t kAlwaysPick = 1;
constexpr std::int32_t kFirstMatch = 2;

// KeyExport: the private-key blob of a certificate's key, or the code and
// platform number of the step that failed.
struct KeyExport {
    std::int32_t code = 0;
    platform::PlatformError platformError = 0;
    platform::SecretBytes blob;
};

// exportKey: the key a reached key context holds, as a PRIVATEKEYBLOB: 5204
// when its slot holds none, 5205 when it may not be exported.
KeyExport exportKey(const platform::KeyContext& context) {
    platform::Outcome<std::unique_ptr<platform::RsaKey>> key =
        context.container->userKey(context.keySpec);
    if (!key) return {codes::kPrivateKeyNotFound, key.error(), {}};
    platform::Outcome<platform::SecretBytes> blob = (*key)->exportPrivateKeyBlob();
    if (!blob) return {codes::kKeyNotExportable, blob.error(), {}};
    return {codes::kSuccess, 0, std::move(*blob)};
}

}  // namespace

std::u16string Engine::ExportMobileFromPfx(std::u16string_view strPfxPath,
                                           std::u16string_view strPfxName,
                                           std::u16string_view strPasswd, std::int32_t dwFlags,
                                           std::int32_t dwKeyUsage) {
    setErrorCode(codes::kSuccess);
    setCapiError(0);
    exportedPfxPath_.clear();
    exportedPfxName_.clear();
    if (refuseUntrustedCaller()) return {};
    std::string folder = toAnsi(strPfxPath), name = toAnsi(strPfxName);
    platform::SecretText password(toAnsi(strPasswd));
    if ((dwFlags & kSignerPfxFile) != 0 && signer_.signerMedia == signerMedia::kPfxFile) {
        folder = signer_.signerCertFilePath;
        name = signer_.signerCertFileName;
        password.assign(signer_.signerCertPasswd.view());
    }
    if (folder.empty() || name.empty() || password.empty()) {
        std::string typed(password.view());
        platform::PlatformDialogs* host = platform().dialogs();
        const std::int32_t asked = host == nullptr
                                       ? codes::kAllocation
                                       : ui::askPfxSource(*host, folder, name, typed,
                                                          minPasswordLength_, maxPasswordLength_);
        password.assign(typed);
        std::fill(typed.begin(), typed.end(), '\0');
        if (asked != codes::kSuccess) {
            setErrorCode(asked);
            return {};
        }
    }
    const std::string path = pfxFilePath(folder, name);
    if (!platform::pathExists(path)) {
        setErrorCode(codes::kFileNotFound);
        return {};
    }
    PfxStore pfx(platform());
    const std::int32_t loaded = loadPfx(pfx, path, password.view(), pfxLoadFlags::kExportableKeys);
    if (loaded != codes::kSuccess) {
        setErrorCode(loaded);
        setCapiError(pfx.platformError());
        return {};
    }
    platform::Outcome<std::vector<platform::StoredCertificate>> certificates =
        pfx.store()->certificates();
    setErrorCode(codes::kCertificateNotFound);
    if (!certificates) return {};
    for (const platform::StoredCertificate& certificate : *certificates) {
        platform::Outcome<platform::KeyContext> context =
            pfx.store()->acquirePrivateKey(certificate.id);
        if (!context || !context->container) continue;  // a certificate without a key
        if (dwKeyUsage > 0 &&
            (CertWrapper(platform(), certificate.encoded).keyUsage() & dwKeyUsage) != dwKeyUsage) {
            setErrorCode(codes::kWrongKeyUsage);
            continue;
        }
        KeyExport exported = exportKey(*context);
        if (exported.code != codes::kSuccess) {
            setErrorCode(exported.code);
            setCapiError(exported.platformError);
            continue;
        }
        MobileExportText text = buildMobileExport(platform(), certificate.encoded, password.view(),
                                                  exported.blob.view());
        setErrorCode(text.code);
        if (text.code == codes::kSuccess) {
            exportedPfxPath_ = folder;
            exportedPfxName_ = name;
        }
        return toWide(text.text);
    }
    return {};
}

std::u16string Engine::ExportMobileFromIE(std::u16string_view strSubject,
                                          std::u16string_view strPasswd, std::int32_t dwFlags,
                                          std::int32_t dwKeyUsage) {
    setErrorCode(codes::kSuccess);
    setCapiError(0);
    exportedPfxPath_.clear();
    exportedPfxName_.clear();
    if (refuseUntrustedCaller()) return {};
    platform::Outcome<std::unique_ptr<platform::CertificateStore>> personal =
        platform().stores() != nullptr
            ? platform().stores()->openSystemStore(platform::SystemStore::kMy)
            : platform::fail(platform::errors::kErrorNotSupported);
    if (!personal) {
        setErrorCode(codes::kPersonalStoreOpenFailed);
        setCapiError(personal.error());
        return {};
    }
    const std::string filter = toAnsi(strSubject);
    std::vector<platform::StoredCertificate> matches;
    signing::CertificateSearch search(platform(), personal->get());
    setErrorCode(search.findMatches(&matches, {filter, dwFlags, dwKeyUsage, std::nullopt}));
    setCapiError(search.lastError());
    if (matches.empty()) {
        if (GetErrorCode() == codes::kSuccess) setErrorCode(codes::kCertificateNotFound);
        return {};
    }
    std::size_t chosen = 0;
    const std::int32_t choice = dwFlags & signing::searchFlags::kSelectionMask;
    platform::PlatformDialogs* host = platform().dialogs();
    if (choice == kAlwaysPick || (choice != kFirstMatch && matches.size() > 1)) {
        std::vector<ui::CertificateRow> rows;
        for (const platform::StoredCertificate& match : matches)
            rows.push_back(ui::CertificateRow::from(CertWrapper(platform(), match.encoded)));
        const ui::PickResult picked = host == nullptr
                                          ? ui::PickResult{codes::kCertificateNotFound, 0}
                                          : ui::pickCertificate(*host, rows);
        if (picked.code != codes::kSuccess) {
            setErrorCode(picked.code);
            return {};
        }
        chosen = picked.position;
    }
    platform::SecretText password(toAnsi(strPasswd));
    if (password.empty()) {
        std::string typed;
        const std::int32_t asked =
            host == nullptr ? codes::kAllocation : ui::askPassword(*host, typed);
        password.assign(typed);
        std::fill(typed.begin(), typed.end(), '\0');
        if (asked != codes::kSuccess) {
            setErrorCode(asked);
            return {};
        }
    }
    platform::Outcome<platform::KeyContext> context =
        (*personal)->acquirePrivateKey(matches[chosen].id);
    if (!context || !context->container) {
        setErrorCode(codes::kPrivateKeyNotFound);
        setCapiError(context.error());
        return {};
    }
    KeyExport exported = exportKey(*context);
    if (exported.code != codes::kSuccess) {
        setErrorCode(exported.code);
        setCapiError(exported.platformError);
        return {};
    }
    MobileExportText text = buildMobileExport(platform(), matches[chosen].encoded, password.view(),
                                              exported.blob.view());
    setErrorCode(text.code);
    return toWide(text.text);
}

}  // namespace pennaform
