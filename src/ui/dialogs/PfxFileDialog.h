// PfxFileDialog (dialog 202): asks for a PFX file and its password. Field 302
// takes a path typed or chosen; "確定" accepts only a path that exists.
#pragma once

#include <string>

#include "ui/dialogs/FileAndPasswordForm.h"

namespace pennaform::ui {

class PfxFileDialog final : public FileAndPasswordForm {
public:
    static constexpr int kTemplateId = 202;

    // The dialog as it opens for the given model: the path shown when the
    // folder is not empty, and a supplied password that is final disabled.
    // After "確定" the folder and name are those of the accepted path.
    PfxFileDialog(std::string folder, std::string name, std::string password, PasswordRange range);

private:
    void onOk(PlatformDialogs& host) override;
    void onButton(int id, PlatformDialogs& host) override;
    void onTextChanged(int id) override;
};

}  // namespace pennaform::ui
