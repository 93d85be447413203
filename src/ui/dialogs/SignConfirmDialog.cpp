#include "ui/dialogs/SignConfirmDialog.h"

#include "ui/dialogs/DialogTexts.h"

namespace pennaform::ui {

SignConfirmDialog::SignConfirmDialog(const SigningDetails& details)
    : DialogForm(kTemplateId, uiText("執行簽章(Sign with this Certificate)")) {
    auto addShown = [this](int id, const std::string& value) -> DialogControl& {
        DialogControl& edit = addEdit(id, value);
        edit.readOnly = true;
        return edit;
    };
    addGroupBox(uiText("簽章內容(Plain Text tobe sign)"));
    addShown(kTextId, details.text).multiline = true;
    addGroupBox(uiText("簽章憑證 (Certificate information)"));
    addLabel(uiText("憑證序號(Serial) : "));
    addShown(kSerialId, details.serial);
    addLabel(uiText("用戶名(CommonName) :"));
    addShown(kCommonNameId, details.commonName);
    addLabel(uiText("憑證效期(Validity):"));
    addLabel(uiText("From :"));
    addShown(kNotBeforeId, details.notBefore);
    addLabel(uiText("to :"));
    addShown(kNotAfterId, details.notAfter);
    addButton(platform::kIdCancel, uiText("取消(Cancel)"));
    addButton(platform::kIdOk, uiText("確定(Ok)")).isDefault = true;
}

void SignConfirmDialog::onOk(PlatformDialogs&) {
    finish(DialogEnd::kOk);
}

void SignConfirmDialog::onCancel() {
    finish(DialogEnd::kCancel);
}

}  // namespace pennaform::ui
