#include "ui/DialogOperations.h"

#include "encoding/ErrorTable.h"
#include "ui/dialogs/CertificatePicker.h"
#include "ui/dialogs/ChangePasswordDialog.h"
#include "ui/dialogs/DialogTexts.h"
#include "ui/dialogs/ExportTargetDialog.h"
#include "ui/dialogs/PasswordDialog.h"
#include "ui/dialogs/PfxFileDialog.h"
#include "ui/dialogs/PfxSourceDialog.h"

namespace pennaform::ui {
namespace {

enum class Shown { kOk, kCancelled, kNotShown };

Shown runOn(platform::PlatformDialogs& host, platform::ModalDialog& dialog) {
    if (!host.runModal(dialog)) return Shown::kNotShown;
    return dialog.end() == DialogEnd::kOk ? Shown::kOk : Shown::kCancelled;
}

// guarded: runs `ask` and turns anything thrown (memory running out while
// the dialog is built) into `notShownCode`, as a dialog that could not be
// created.
template <typename Ask>
auto guarded(std::int32_t notShownCode, Ask ask) noexcept -> decltype(ask()) {
    try {
        return ask();
    } catch (...) {
        return decltype(ask()){notShownCode};
    }
}

std::int32_t codeOf(Shown shown, std::int32_t notShownCode) {
    switch (shown) {
        case Shown::kOk:
            return codes::kSuccess;
        case Shown::kCancelled:
            return codes::kCancelled;
        case Shown::kNotShown:
            break;
    }
    return notShownCode;
}

void defaultName(std::string& name) {
    if (name.empty()) name = uiText(texts::kDefaultPfxName);
}

// askFileAndPassword: the dialogs whose model is a folder, a name and a
// password (202, 206, 207).
template <typename Dialog>
std::int32_t askFileAndPassword(platform::PlatformDialogs& host, std::string& folder,
                                std::string& name, std::string& password, std::int32_t minimum,
                                std::int32_t maximum) {
    return guarded(codes::kAllocation, [&] {
        defaultName(name);
        Dialog dialog(folder, name, password, PasswordRange::normalised(minimum, maximum));
        Shown shown = runOn(host, dialog);
        if (shown == Shown::kOk) {
            folder = dialog.folder();
            name = dialog.name();
            password = dialog.password();
        }
        return codeOf(shown, codes::kAllocation);
    });
}

}  // namespace

std::int32_t askPfxFile(platform::PlatformDialogs& host, std::string& folder, std::string& name,
                        std::string& password, std::int32_t minimum, std::int32_t maximum) {
    return askFileAndPassword<PfxFileDialog>(host, folder, name, password, minimum, maximum);
}

std::int32_t askExportTarget(platform::PlatformDialogs& host, std::string& folder,
                             std::string& name, std::string& password, std::int32_t minimum,
                             std::int32_t maximum) {
    return askFileAndPassword<ExportTargetDialog>(host, folder, name, password, minimum, maximum);
}

std::int32_t askPfxSource(platform::PlatformDialogs& host, std::string& folder, std::string& name,
                          std::string& password, std::int32_t minimum, std::int32_t maximum) {
    return askFileAndPassword<PfxSourceDialog>(host, folder, name, password, minimum, maximum);
}

std::int32_t askPasswordChange(platform::PlatformDialogs& host, std::string& folder,
                               std::string& name, std::string& oldPassword,
                               std::string& newPassword, std::int32_t minimum,
                               std::int32_t maximum) {
    return guarded(codes::kAllocation, [&] {
        defaultName(name);
        ChangePasswordDialog dialog(folder, name, oldPassword, newPassword, newPassword,
                                    PasswordRange::normalised(minimum, maximum));
        Shown shown = runOn(host, dialog);
        if (shown != Shown::kOk) return codeOf(shown, codes::kAllocation);
        folder = dialog.folder();
        name = dialog.name();
        oldPassword = dialog.oldPassword();
        if (dialog.newPassword() != dialog.confirmation()) return codes::kPasswordMismatch;
        newPassword = dialog.newPassword();
        return codes::kSuccess;
    });
}

std::int32_t askPassword(platform::PlatformDialogs& host, std::string& outPassword) {
    return guarded(codes::kAllocation, [&] {
        PasswordDialog dialog;
        Shown shown = runOn(host, dialog);
        if (shown == Shown::kOk) outPassword = dialog.password();
        return codeOf(shown, codes::kAllocation);
    });
}

PickResult pickCertificate(platform::PlatformDialogs& host,
                           std::span<const CertificateRow> candidates) {
    return guarded(codes::kCertificateNotFound, [&] {
        // An empty list has no first row to fall back on: nothing to choose.
        if (candidates.empty()) return PickResult{codes::kCertificateNotFound};
        CertificatePicker picker(candidates);
        Shown shown = runOn(host, picker);
        if (shown != Shown::kOk) return PickResult{codeOf(shown, codes::kCertificateNotFound)};
        return PickResult{codes::kSuccess, picker.chosenPosition()};
    });
}

std::int32_t confirmSigning(platform::PlatformDialogs& host, const SigningDetails& details) {
    return guarded(codes::kAllocation, [&] {
        SignConfirmDialog dialog(details);
        return codeOf(runOn(host, dialog), codes::kAllocation);
    });
}

}  // namespace pennaform::ui
