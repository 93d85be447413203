// PfxSourceDialog (dialog 207): asks for a PFX file to export from (chosen,
// not typed) and its password.
#pragma once

#include <string>

#include "ui/dialogs/DialogForm.h"
#include "ui/dialogs/PasswordRange.h"

namespace pennaform::ui {

class PfxSourceDialog final : public DialogForm {
public:
    static constexpr int kTemplateId = 207;
    static constexpr int kPathId = 302;
    static constexpr int kBrowseId = 301;
    static constexpr int kPasswordId = 303;

    PfxSourceDialog(std::string folder, std::string name, std::string password,
                    PasswordRange range);

    const std::string& folder() const { return folder_; }
    const std::string& name() const { return name_; }
    const std::string& password() const { return password_; }

private:
    void onOk(PlatformDialogs& host) override;
    void onCancel() override;
    void onButton(int id, PlatformDialogs& host) override;
    void onTextChanged(int id) override;

    std::string folder_;
    std::string name_;
    std::string password_;
    PasswordRange range_;
};

}  // namespace pennaform::ui
