// ExportTargetDialog (dialog 206): asks where to export a PFX file (a folder
// chosen, the name given) and the password to protect it, typed twice. On
// "確定" the folder is created when missing and tried for writing.
#pragma once

#include <string>

#include "ui/dialogs/FileAndPasswordForm.h"

namespace pennaform::ui {

class ExportTargetDialog final : public FileAndPasswordForm {
public:
    static constexpr int kTemplateId = 206;
    static constexpr int kRuleLabelId = 306;
    static constexpr int kConfirmationId = 304;

    // The dialog as it opens: both password fields show `password`.
    ExportTargetDialog(std::string folder, std::string name, std::string password,
                       PasswordRange range);

private:
    void onOk(PlatformDialogs& host) override;
    void onButton(int id, PlatformDialogs& host) override;
    void onTextChanged(int id) override;
};

}  // namespace pennaform::ui
