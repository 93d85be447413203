// PfxSourceDialog (dialog 207): asks for a PFX file to export from (chosen,
// not typed) and its password.
#pragma once

#include <string>

#include "ui/dialogs/FileAndPasswordForm.h"

namespace pennaform::ui {

class PfxSourceDialog final : public FileAndPasswordForm {
public:
    static constexpr int kTemplateId = 207;

    PfxSourceDialog(std::string folder, std::string name, std::string password,
                    PasswordRange range);

private:
    void onOk(PlatformDialogs& host) override;
    void onButton(int id, PlatformDialogs& host) override;
    void onTextChanged(int id) override;
};

}  // namespace pennaform::ui
