#include "ui/dialogs/ChangePasswordDialog.h"

#include "platform/FileSystem.h"
#include "ui/dialogs/DialogTexts.h"
#include "ui/dialogs/PathRules.h"
#include "ui/dialogs/PfxChooser.h"

namespace pennaform::ui {

ChangePasswordDialog::ChangePasswordDialog(std::string folder, std::string name,
                                           std::string oldPassword, std::string newPassword,
                                           std::string confirmation, PasswordRange range)
    : DialogForm(kTemplateId, uiText("變更憑證檔案密碼")),
      folder_(std::move(folder)),
      name_(std::move(name)),
      oldPassword_(oldPassword),
      newPassword_(newPassword),
      confirmation_(confirmation),
      range_(range) {
    std::string shownPath = folder_.empty() ? "" : platform::joinPath(folder_, name_);
    bool fileChosen = platform::pathExists(shownPath);
    addLabel(uiText(texts::kPathLabel));
    addButton(kBrowseId, uiText(texts::kBrowse)).enabled = !fileChosen;
    DialogControl& path = addEdit(kPathId, std::move(shownPath));
    path.multiline = true;
    path.readOnly = true;
    // The label above the old password carries the password rule instead.
    addLabel(range_.ruleLabel(), kRuleLabelId);
    addPasswordEdit(kOldPasswordId, oldPassword_.view());
    addLabel(uiText("輸入新憑證密碼 :"));
    addPasswordEdit(kNewPasswordId, newPassword_.view());
    addLabel(uiText("確認新憑證密碼 :"));
    addPasswordEdit(kConfirmationId, confirmation_.view());
    addButton(platform::kIdOk, uiText(texts::kOk)).isDefault = true;
    addButton(platform::kIdCancel, uiText(texts::kCancel));
    onTextChanged(kOldPasswordId);
}

void ChangePasswordDialog::addPasswordEdit(int id, std::string_view value) {
    DialogControl& edit = addEdit(id, std::string(value));
    edit.secret = true;
    edit.typingLimit = std::size_t(range_.maximum());
    edit.enabled = !range_.locksSuppliedPassword(value.size());
}

void ChangePasswordDialog::onTextChanged(int) {
    bool acceptable = range_.acceptsNonEmpty(text(kOldPasswordId).size()) &&
                      range_.acceptsNonEmpty(text(kNewPasswordId).size()) &&
                      range_.acceptsNonEmpty(text(kConfirmationId).size());
    setEnabled(platform::kIdOk, acceptable);
}

void ChangePasswordDialog::onButton(int id, PlatformDialogs& host) {
    if (id != kBrowseId) return;
    auto chosen = choosePfxFile(host, folder_);
    if (!chosen) return;
    FolderAndName parts = splitPath(*chosen);
    folder_ = std::move(parts.folder);
    name_ = std::move(parts.name);
    setText(kPathId, std::move(*chosen));
}

void ChangePasswordDialog::onOk(PlatformDialogs& host) {
    oldPassword_.assign(text(kOldPasswordId));
    newPassword_.assign(text(kNewPasswordId));
    confirmation_.assign(text(kConfirmationId));
    const std::string& path = text(kPathId);
    if (!platform::pathExists(path)) {
        showError(host, fileMissingMessage(path));
        return;
    }
    finish(DialogEnd::kOk);
}

void ChangePasswordDialog::onCancel() {
    folder_.clear();
    name_.clear();
    oldPassword_.clear();
    newPassword_.clear();
    confirmation_.clear();
    finish(DialogEnd::kCancel);
}

}  // namespace pennaform::ui
