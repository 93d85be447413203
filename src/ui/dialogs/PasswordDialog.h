// PasswordDialog (dialog 205): asks for a password alone. Any password, the
// empty one included, is accepted.
#pragma once

#include <string_view>

#include "platform/SecretText.h"

#include "ui/dialogs/DialogForm.h"
#include "ui/dialogs/PasswordRange.h"

namespace pennaform::ui {

class PasswordDialog final : public DialogForm {
public:
    static constexpr int kTemplateId = 205;
    static constexpr int kPasswordId = 303;

    PasswordDialog();

    std::string_view password() const { return password_.view(); }

private:
    void onOk(PlatformDialogs& host) override;
    void onCancel() override;
    void onTextChanged(int id) override;

    platform::SecretText password_;
    PasswordRange range_;
};

}  // namespace pennaform::ui
