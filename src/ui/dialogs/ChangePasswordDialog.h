// ChangePasswordDialog (dialog 203): asks for a PFX file (chosen, not typed),
// its old password and a new one with its confirmation.
#pragma once

#include <string>
#include <string_view>

#include "platform/SecretText.h"

#include "ui/dialogs/DialogForm.h"
#include "ui/dialogs/PasswordRange.h"

namespace pennaform::ui {

class ChangePasswordDialog final : public DialogForm {
public:
    static constexpr int kTemplateId = 203;
    static constexpr int kBrowseId = 301;
    static constexpr int kPathId = 302;
    static constexpr int kOldPasswordId = 303;
    static constexpr int kNewPasswordId = 304;
    static constexpr int kConfirmationId = 305;
    static constexpr int kRuleLabelId = 306;

    // The dialog as it opens: browsing disabled when the shown path exists,
    // each supplied password that is final disabled, the rule label shown.
    ChangePasswordDialog(std::string folder, std::string name, std::string oldPassword,
                         std::string newPassword, std::string confirmation, PasswordRange range);

    const std::string& folder() const { return folder_; }
    const std::string& name() const { return name_; }
    std::string_view oldPassword() const { return oldPassword_.view(); }
    std::string_view newPassword() const { return newPassword_.view(); }
    std::string_view confirmation() const { return confirmation_.view(); }

private:
    void onOk(PlatformDialogs& host) override;
    void onCancel() override;
    void onButton(int id, PlatformDialogs& host) override;
    void onTextChanged(int id) override;
    void addPasswordEdit(int id, std::string_view value);

    std::string folder_;
    std::string name_;
    platform::SecretText oldPassword_;
    platform::SecretText newPassword_;
    platform::SecretText confirmation_;
    PasswordRange range_;
};

}  // namespace pennaform::ui
