#include "ui/dialogs/PfxFileDialog.h"

#include "ui/dialogs/DialogTexts.h"
#include "ui/dialogs/FileChecks.h"
#include "ui/dialogs/PathRules.h"
#include "ui/dialogs/PfxChooser.h"

namespace pennaform::ui {

PfxFileDialog::PfxFileDialog(std::string folder, std::string name, std::string password,
                             PasswordRange range)
    : DialogForm(kTemplateId, uiText(texts::kFileInfoTitle)),
      folder_(std::move(folder)),
      name_(std::move(name)),
      password_(std::move(password)),
      range_(range) {
    addLabel(uiText(texts::kPathLabel));
    addButton(kBrowseId, uiText(texts::kBrowse));
    DialogControl& path = addEdit(kPathId, folder_.empty() ? "" : composePath(folder_, name_));
    path.multiline = true;
    addLabel(uiText(texts::kPasswordLabel));
    DialogControl& passwordEdit = addEdit(kPasswordId, password_);
    passwordEdit.secret = true;
    passwordEdit.typingLimit = std::size_t(range_.maximum());
    passwordEdit.enabled = !range_.locksSuppliedPassword(password_.size());
    addButton(platform::kIdOk, uiText(texts::kOk)).isDefault = true;
    addButton(platform::kIdCancel, uiText(texts::kCancel));
    onTextChanged(kPasswordId);
}

void PfxFileDialog::onTextChanged(int) {
    setEnabled(platform::kIdOk, range_.acceptsAnyLength(text(kPasswordId).size()));
}

void PfxFileDialog::onButton(int id, PlatformDialogs& host) {
    if (id != kBrowseId) return;
    if (auto chosen = choosePfxFile(host, folder_)) setText(kPathId, std::move(*chosen));
}

void PfxFileDialog::onOk(PlatformDialogs& host) {
    password_ = text(kPasswordId);
    const std::string& path = text(kPathId);
    if (!pathExists(path)) {
        showError(host, fileMissingMessage(path));
        return;
    }
    FolderAndName parts = splitPath(path);
    folder_ = std::move(parts.folder);
    name_ = std::move(parts.name);
    finish(DialogEnd::kOk);
}

void PfxFileDialog::onCancel() {
    name_.clear();
    password_.clear();
    finish(DialogEnd::kCancel);
}

}  // namespace pennaform::ui
