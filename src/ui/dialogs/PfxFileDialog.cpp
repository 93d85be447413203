#include "ui/dialogs/PfxFileDialog.h"

#include "platform/FileSystem.h"
#include "ui/dialogs/DialogTexts.h"
#include "ui/dialogs/PfxChooser.h"

namespace pennaform::ui {

PfxFileDialog::PfxFileDialog(std::string folder, std::string name, std::string password,
                             PasswordRange range)
    : FileAndPasswordForm(kTemplateId, std::move(folder), std::move(name), std::move(password),
                          range) {
    addLabel(uiText(texts::kPathLabel));
    addButton(kBrowseId, uiText(texts::kBrowse));
    addPathEdit();
    addLabel(uiText(texts::kPasswordLabel));
    DialogControl& passwordEdit = addPasswordEdit(kPasswordId);
    passwordEdit.enabled = !range.locksSuppliedPassword(passwordEdit.text.size());
    addButton(platform::kIdOk, uiText(texts::kOk)).isDefault = true;
    addButton(platform::kIdCancel, uiText(texts::kCancel));
    onTextChanged(kPasswordId);
}

void PfxFileDialog::onTextChanged(int) {
    setEnabled(platform::kIdOk, range().acceptsAnyLength(text(kPasswordId).size()));
}

void PfxFileDialog::onButton(int id, PlatformDialogs& host) {
    if (id != kBrowseId) return;
    if (auto chosen = choosePfxFile(host, folder())) setText(kPathId, std::move(*chosen));
}

void PfxFileDialog::onOk(PlatformDialogs& host) {
    takePassword();
    const std::string& path = text(kPathId);
    if (!platform::pathExists(path)) {
        showError(host, fileMissingMessage(path));
        return;
    }
    takePath(path);
    finish(DialogEnd::kOk);
}

}  // namespace pennaform::ui
