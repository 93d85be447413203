#include "ui/dialogs/ExportTargetDialog.h"

#include "ui/dialogs/DialogTexts.h"
#include "ui/dialogs/FileChecks.h"
#include "ui/dialogs/PathRules.h"
#include "ui/dialogs/PfxChooser.h"

namespace pennaform::ui {

ExportTargetDialog::ExportTargetDialog(std::string folder, std::string name, std::string password,
                                       PasswordRange range)
    : DialogForm(kTemplateId, uiText(texts::kFileInfoTitle)),
      folder_(std::move(folder)),
      name_(std::move(name)),
      password_(std::move(password)),
      range_(range) {
    addLabel(uiText("請指定您要匯出的檔案名稱及路徑："));
    DialogControl& path = addEdit(kPathId);
    path.multiline = true;
    path.readOnly = true;
    addButton(kBrowseId, uiText(texts::kBrowse));
    addLabel(range_.ruleLabel(), kRuleLabelId);
    DialogControl& passwordEdit = addEdit(kPasswordId, password_);
    passwordEdit.secret = true;
    passwordEdit.typingLimit = std::size_t(range_.maximum());
    addLabel(uiText("再次確認憑證密碼"));
    DialogControl& confirmation = addEdit(kConfirmationId, password_);
    confirmation.secret = true;
    confirmation.typingLimit = std::size_t(range_.maximum());
    addButton(platform::kIdOk, uiText(texts::kOk)).isDefault = true;
    addButton(platform::kIdCancel, uiText(texts::kCancel));
    showPath();
    onTextChanged(kPasswordId);
}

void ExportTargetDialog::showPath() {
    setText(kPathId, folder_.empty() ? "" : composePath(folder_, name_));
}

void ExportTargetDialog::onTextChanged(int) {
    setEnabled(platform::kIdOk, range_.acceptsNonEmpty(text(kPasswordId).size()) &&
                                    range_.acceptsNonEmpty(text(kConfirmationId).size()));
}

void ExportTargetDialog::onButton(int id, PlatformDialogs& host) {
    if (id != kBrowseId) return;
    if (auto chosen = choosePfxFolder(host)) {
        folder_ = std::move(*chosen);
        showPath();
    }
}

void ExportTargetDialog::onOk(PlatformDialogs& host) {
    password_ = text(kPasswordId);
    if (password_ != text(kConfirmationId)) {
        showError(host, uiText(texts::kPasswordMismatch));
        return;
    }
    std::string folderMessage = folderUnusableMessage(folder_);
    if (!pathExists(folder_) && !createFolder(folder_)) {
        showError(host, folderMessage);
        return;
    }
    switch (probeFileWriting(text(kPathId))) {
        case WriteProbe::kWritable:
            finish(DialogEnd::kOk);
            return;
        case WriteProbe::kNotWritable:
            showError(host, folderMessage);
            return;
        case WriteProbe::kProbeLeftBehind:
            // The folder took a file it would not give back: stay open
            // without a message, as the user can still choose another.
            return;
    }
}

void ExportTargetDialog::onCancel() {
    name_.clear();
    password_.clear();
    finish(DialogEnd::kCancel);
}

}  // namespace pennaform::ui
