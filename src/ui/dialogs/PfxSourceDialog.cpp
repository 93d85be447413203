#include "ui/dialogs/PfxSourceDialog.h"

#include "platform/FileSystem.h"
#include "ui/dialogs/DialogTexts.h"
#include "ui/dialogs/PfxChooser.h"

namespace pennaform::ui {

PfxSourceDialog::PfxSourceDialog(std::string folder, std::string name, std::string password,
                                 PasswordRange range)
    : FileAndPasswordForm(kTemplateId, std::move(folder), std::move(name), std::move(password),
                          range) {
    addLabel(uiText("指定您要匯出的檔案名稱及路徑："));
    addPathEdit().readOnly = true;
    addButton(kBrowseId, uiText(texts::kBrowse));
    addLabel(uiText("設定憑證密碼,\n憑證匯出, 需驗證憑證密碼"));
    addPasswordEdit(kPasswordId);
    addButton(platform::kIdOk, uiText(texts::kOk)).isDefault = true;
    addButton(platform::kIdCancel, uiText(texts::kCancel));
    onTextChanged(kPasswordId);
}

void PfxSourceDialog::onTextChanged(int) {
    setEnabled(platform::kIdOk, range().acceptsAnyLength(text(kPasswordId).size()));
}

void PfxSourceDialog::onButton(int id, PlatformDialogs& host) {
    if (id != kBrowseId) return;
    // This chooser starts with no initial folder.
    auto chosen = choosePfxFile(host, "");
    if (!chosen) return;
    takePath(*chosen);
    setText(kPathId, std::move(*chosen));
}

void PfxSourceDialog::onOk(PlatformDialogs& host) {
    takePassword();
    const std::string& path = text(kPathId);
    if (!platform::pathExists(path)) {
        showError(host, fileMissingMessage(path));
        return;
    }
    finish(DialogEnd::kOk);
}

}  // namespace pennaform::ui
