// PasswordDialog (dialog 205): asks for a password alone. Any password, the
// empty one included, is accepted.
#pragma once

#include <string>

#include "ui/dialogs/DialogForm.h"
#include "ui/dialogs/PasswordRange.h"

namespace pennaform::ui {

class PasswordDialog final : public DialogForm {
public:
    static constexpr int kTemplateId = 205;
    static constexpr int kPasswordId = 303;

    PasswordDialog();

    const std::string& password() const { return password_; }

private:
    void onOk(PlatformDialogs& host) override;
    void onCancel() override;
    void onTextChanged(int id) override;

    std::string password_;
    PasswordRange range_;
};

}  // namespace pennaform::ui
