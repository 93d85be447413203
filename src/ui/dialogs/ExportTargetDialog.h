// ExportTargetDialog (dialog 206): asks where to export a PFX file (a folder
// chosen, the name given) and the password to protect it, typed twice. On
// "確定" the folder is created when missing and tried for writing.
#pragma once

#include <string>

#include "ui/dialogs/DialogForm.h"
#include "ui/dialogs/PasswordRange.h"

namespace pennaform::ui {

class ExportTargetDialog final : public DialogForm {
public:
    static constexpr int kTemplateId = 206;
    static constexpr int kPathId = 302;
    static constexpr int kBrowseId = 301;
    static constexpr int kRuleLabelId = 306;
    static constexpr int kPasswordId = 303;
    static constexpr int kConfirmationId = 304;

    // The dialog as it opens: both password fields show `password`.
    ExportTargetDialog(std::string folder, std::string name, std::string password,
                       PasswordRange range);

    const std::string& folder() const { return folder_; }
    const std::string& name() const { return name_; }
    const std::string& password() const { return password_; }

private:
    void onOk(PlatformDialogs& host) override;
    void onCancel() override;
    void onButton(int id, PlatformDialogs& host) override;
    void onTextChanged(int id) override;
    void showPath();

    std::string folder_;
    std::string name_;
    std::string password_;
    PasswordRange range_;
};

}  // namespace pennaform::ui
