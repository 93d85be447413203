#include "ui/dialogs/PfxSourceDialog.h"

#include "ui/dialogs/DialogTexts.h"
#include "ui/dialogs/FileChecks.h"
#include "ui/dialogs/PathRules.h"
#include "ui/dialogs/PfxChooser.h"

namespace pennaform::ui {

PfxSourceDialog::PfxSourceDialog(std::string folder, std::string name, std::string password,
                                 PasswordRange range)
    : DialogForm(kTemplateId, uiText(texts::kFileInfoTitle)),
      folder_(std::move(folder)),
      name_(std::move(name)),
      password_(std::move(password)),
      range_(range) {
    addLabel(uiText("指定您要匯出的檔案名稱及路徑："));
    DialogControl& path = addEdit(kPathId, folder_.empty() ? "" : composePath(folder_, name_));
    path.multiline = true;
    path.readOnly = true;
    addButton(kBrowseId, uiText(texts::kBrowse));
    addLabel(uiText("設定憑證密碼,\n憑證匯出, 需驗證憑證密碼"));
    DialogControl& passwordEdit = addEdit(kPasswordId, password_);
    passwordEdit.secret = true;
    passwordEdit.typingLimit = std::size_t(range_.maximum());
    addButton(platform::kIdOk, uiText(texts::kOk)).isDefault = true;
    addButton(platform::kIdCancel, uiText(texts::kCancel));
    onTextChanged(kPasswordId);
}

void PfxSourceDialog::onTextChanged(int) {
    setEnabled(platform::kIdOk, range_.acceptsAnyLength(text(kPasswordId).size()));
}

void PfxSourceDialog::onButton(int id, PlatformDialogs& host) {
    if (id != kBrowseId) return;
    // This chooser starts with no initial folder.
    auto chosen = choosePfxFile(host, "");
    if (!chosen) return;
    FolderAndName parts = splitPath(*chosen);
    folder_ = std::move(parts.folder);
    name_ = std::move(parts.name);
    setText(kPathId, std::move(*chosen));
}

void PfxSourceDialog::onOk(PlatformDialogs& host) {
    password_ = text(kPasswordId);
    const std::string& path = text(kPathId);
    if (!pathExists(path)) {
        showError(host, fileMissingMessage(path));
        return;
    }
    finish(DialogEnd::kOk);
}

void PfxSourceDialog::onCancel() {
    name_.clear();
    password_.clear();
    finish(DialogEnd::kCancel);
}

}  // namespace pennaform::ui
