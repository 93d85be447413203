#include "ui/dialogs/ExportTargetDialog.h"

#include "platform/FileSystem.h"
#include "ui/dialogs/DialogTexts.h"
#include "ui/dialogs/PfxChooser.h"

namespace pennaform::ui {

ExportTargetDialog::ExportTargetDialog(std::string folder, std::string name, std::string password,
                                       PasswordRange range)
    : FileAndPasswordForm(kTemplateId, std::move(folder), std::move(name), std::move(password),
                          range) {
    addLabel(uiText("請指定您要匯出的檔案名稱及路徑："));
    addPathEdit().readOnly = true;
    addButton(kBrowseId, uiText(texts::kBrowse));
    addLabel(range.ruleLabel(), kRuleLabelId);
    addPasswordEdit(kPasswordId);
    addLabel(uiText("再次確認憑證密碼"));
    addPasswordEdit(kConfirmationId);
    addButton(platform::kIdOk, uiText(texts::kOk)).isDefault = true;
    addButton(platform::kIdCancel, uiText(texts::kCancel));
    onTextChanged(kPasswordId);
}

void ExportTargetDialog::onTextChanged(int) {
    setEnabled(platform::kIdOk, range().acceptsNonEmpty(text(kPasswordId).size()) &&
                                    range().acceptsNonEmpty(text(kConfirmationId).size()));
}

void ExportTargetDialog::onButton(int id, PlatformDialogs& host) {
    if (id != kBrowseId) return;
    if (auto chosen = choosePfxFolder(host)) {
        setFolder(std::move(*chosen));
        showPath();
    }
}

void ExportTargetDialog::onOk(PlatformDialogs& host) {
    takePassword();
    if (password() != text(kConfirmationId)) {
        showError(host, uiText(texts::kPasswordMismatch));
        return;
    }
    std::string folderMessage = folderUnusableMessage(folder());
    if (!platform::pathExists(folder()) && !platform::createFolder(folder())) {
        showError(host, folderMessage);
        return;
    }
    switch (platform::probeFileWriting(text(kPathId))) {
        case platform::WriteProbe::kWritable:
            finish(DialogEnd::kOk);
            return;
        case platform::WriteProbe::kNotWritable:
            showError(host, folderMessage);
            return;
        case platform::WriteProbe::kProbeLeftBehind:
            // The folder took a file it would not give back: stay open
            // without a message, as the user can still choose another.
            return;
    }
}

}  // namespace pennaform::ui
