// PfxFileDialog (dialog 202): asks for a PFX file and its password. Field 302
// takes a path typed or chosen; "確定" accepts only a path that exists.
#pragma once

#include <string>

#include "ui/dialogs/DialogForm.h"
#include "ui/dialogs/PasswordRange.h"

namespace pennaform::ui {

class PfxFileDialog final : public DialogForm {
public:
    static constexpr int kTemplateId = 202;
    static constexpr int kBrowseId = 301;
    static constexpr int kPathId = 302;
    static constexpr int kPasswordId = 303;

    // The dialog as it opens for the given model: the path shown when the
    // folder is not empty, and a supplied password that is final disabled.
    PfxFileDialog(std::string folder, std::string name, std::string password, PasswordRange range);

    // The model; after "確定" the folder and name are those of the accepted path.
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
