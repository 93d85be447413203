// The PFX operations: looking into a file, importing it into "MY", giving it
// a new password, and exporting a certificate of "MY" to a new file.
#include <functional>
#include <string>

#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "pfx/PfxExport.h"
#include "pfx/PfxOperations.h"
#include "pfx/PfxStore.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "signing/SignerPort.h"
#include "ui/DialogOperations.h"

namespace pennaform {
namespace {

// PfxFileArguments: a PFX file and its password as the caller gave them,
// completed by the dialog when a part is missing.
struct PfxFileArguments {
    std::string folder;
    std::string name;
    std::string password;
};

// acceptPfx: what QueryPfxInfo and ImportPfxToIE share: the gate, the
// dialog for a missing part, the path check, then the look or the import;
// on success the accepted certificate becomes the signer's bytes.
std::int32_t acceptPfx(
    Engine& engine, std::u16string_view strPfxPath, std::u16string_view strPfxName,
    std::u16string_view strPasswd,
    const std::function<PfxAcceptance(const std::string&, const std::string&)>& accept,
    PfxFileArguments& outFile) {
    if (engine.refuseUntrustedCaller()) return engine.GetErrorCode();
    PfxFileArguments file{toAnsi(strPfxPath), toAnsi(strPfxName), toAnsi(strPasswd)};
    if (file.folder.empty() || file.name.empty() || file.password.empty()) {
        platform::PlatformDialogs* host = engine.platform().dialogs();
        std::int32_t asked =
            host == nullptr
                ? codes::kAllocation
                : ui::askPfxFile(*host, file.folder, file.name, file.password,
                                 engine.minPasswordLength(), engine.maxPasswordLength());
        engine.setErrorCode(asked);
        if (asked != codes::kSuccess) return asked;
    }
    std::string path = pfxFilePath(file.folder, file.name);
    if (!platform::pathExists(path)) {
        engine.setErrorCode(codes::kFileNotFound);
        return engine.GetErrorCode();
    }
    PfxAcceptance found = accept(path, file.password);
    engine.setErrorCode(found.result.code);
    engine.setCapiError(found.result.platformError);
    if (found.result.code == codes::kSuccess) {
        engine.signer().signerCertBytes = std::move(found.lastAccepted);
        outFile = std::move(file);
    }
    return engine.GetErrorCode();
}

}  // namespace

std::int32_t Engine::QueryPfxInfo(std::u16string_view strPfxPath, std::u16string_view strPfxName,
                                  std::u16string_view strPasswd, std::int32_t dwFlags,
                                  std::int32_t dwKeyUsage) {
    setErrorCode(codes::kSuccess);
    setCapiError(0);
    signer_.clearCurrentSigner();
    PfxFileArguments file;
    std::int32_t code = acceptPfx(
        *this, strPfxPath, strPfxName, strPasswd,
        [&](const std::string& path, const std::string& password) {
            return queryPfxCertificates(platform(), path, password, dwFlags, dwKeyUsage);
        },
        file);
    if (code == codes::kSuccess) {
        signer_.signerCertFilePath = std::move(file.folder);
        signer_.signerCertFileName = std::move(file.name);
    }
    return code;
}

std::int32_t Engine::ImportPfxToIE(std::u16string_view strPfxPath, std::u16string_view strPfxName,
                                   std::u16string_view strPasswd, std::int32_t dwFlags,
                                   std::int32_t dwKeyUsage) {
    setErrorCode(codes::kSuccess);
    setCapiError(0);
    signer_.clearCurrentSigner();
    importedPfxPath_.clear();
    importedPfxName_.clear();
    PfxFileArguments file;
    std::int32_t code = acceptPfx(
        *this, strPfxPath, strPfxName, strPasswd,
        [&](const std::string& path, const std::string& password) {
            return importPfxCertificates(platform(), path, password, dwFlags, dwKeyUsage);
        },
        file);
    if (code == codes::kSuccess) {
        importedPfxPath_ = std::move(file.folder);
        importedPfxName_ = std::move(file.name);
    }
    return code;
}

std::int32_t Engine::ChangePfxPasswd(std::u16string_view strPfxPath, std::u16string_view strPfxName,
                                     std::u16string_view strOldPass, std::u16string_view strNewPass,
                                     std::int32_t /*dwFlags*/) {
    return ChangePfxPasswdEx(strPfxPath, strPfxName, strOldPass, strNewPass, 0, 0);
}

std::int32_t Engine::ChangePfxPasswdEx(std::u16string_view strPfxPath,
                                       std::u16string_view strPfxName,
                                       std::u16string_view strOldPass,
                                       std::u16string_view strNewPass, std::int32_t dwPort,
                                       std::int32_t /*dwFlags*/) {
    setErrorCode(codes::kSuccess);
    setCapiError(0);
    if (refuseUntrustedCaller()) return GetErrorCode();
    std::string folder = toAnsi(strPfxPath), name = toAnsi(strPfxName);
    std::string oldPassword = toAnsi(strOldPass), newPassword = toAnsi(strNewPass);
    if (folder.empty() || name.empty() || oldPassword.empty() || newPassword.empty()) {
        platform::PlatformDialogs* host = platform().dialogs();
        std::int32_t asked =
            host == nullptr ? codes::kAllocation
                            : ui::askPasswordChange(*host, folder, name, oldPassword, newPassword,
                                                    minPasswordLength_, maxPasswordLength_);
        setErrorCode(asked);
        if (asked != codes::kSuccess) return asked;
    }
    std::string path = pfxFilePath(folder, name);
    if (!platform::pathExists(path)) {
        setErrorCode(codes::kFileNotFound);
        return GetErrorCode();
    }
    PfxResult changed = changePfxPassword(platform(), path, oldPassword, newPassword);
    setErrorCode(changed.code);
    setCapiError(changed.platformError);
    if (changed.code == codes::kSuccess && dwPort > 0) {
        if (std::optional<signing::SignerPort> port =
                signing::openSignerPort(signer_, platform())) {
            signing::updatePfxSignerPassword(*port, path, newPassword);
        }
    }
    return GetErrorCode();
}

std::int32_t Engine::ExportPfxFromIE(std::u16string_view strSubject, std::u16string_view strPfxPath,
                                     std::u16string_view strPassword, std::int32_t dwFlags,
                                     std::int32_t dwKeyUsage) {
    setErrorCode(codes::kSuccess);
    setCapiError(0);
    exportedPfxPath_.clear();
    exportedPfxName_.clear();
    if (refuseUntrustedCaller()) return GetErrorCode();
    PfxExportRequest request{
        toAnsi(strSubject), toAnsi(strPfxPath), toAnsi(strPassword), dwFlags,
        dwKeyUsage,         defaultPfxPrefix_,  minPasswordLength_,  maxPasswordLength_};
    PfxExportResult exported = exportPersonalCertificate(platform(), request);
    setErrorCode(exported.result.code);
    setCapiError(exported.result.platformError);
    if (exported.result.code == codes::kSuccess) {
        exportedPfxPath_ = std::move(exported.folder);
        exportedPfxName_ = std::move(exported.name);
    }
    return GetErrorCode();
}

}  // namespace pennaform
