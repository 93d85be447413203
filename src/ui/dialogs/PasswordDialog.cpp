#include "ui/dialogs/PasswordDialog.h"

#include "ui/dialogs/DialogTexts.h"

namespace pennaform::ui {

PasswordDialog::PasswordDialog() : DialogForm(kTemplateId, uiText("輸入憑證檔密碼")) {
    addLabel(uiText(texts::kPasswordLabel));
    // This dialog sets no typing limit on its field.
    addEdit(kPasswordId).secret = true;
    addButton(platform::kIdOk, uiText(texts::kOk)).isDefault = true;
    addButton(platform::kIdCancel, uiText(texts::kCancel));
    onTextChanged(kPasswordId);
}

void PasswordDialog::onTextChanged(int) {
    setEnabled(platform::kIdOk, range_.acceptsAnyLength(text(kPasswordId).size()));
}

void PasswordDialog::onOk(PlatformDialogs&) {
    password_.assign(text(kPasswordId));
    finish(DialogEnd::kOk);
}

void PasswordDialog::onCancel() {
    password_.clear();
    finish(DialogEnd::kCancel);
}

}  // namespace pennaform::ui
