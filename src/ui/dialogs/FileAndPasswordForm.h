// FileAndPasswordForm: what the dialogs whose model is a PFX file's folder and
// name and one password share (202, 206, 207): the path field that shows the
// folder and the name as one path, the password fields, and "取消", which
// clears the name and the password.
#pragma once

#include <string>
#include <string_view>

#include "platform/SecretText.h"
#include "ui/dialogs/DialogForm.h"
#include "ui/dialogs/PasswordRange.h"

namespace pennaform::ui {

class FileAndPasswordForm : public DialogForm {
public:
    static constexpr int kBrowseId = 301;
    static constexpr int kPathId = 302;
    static constexpr int kPasswordId = 303;

    // The model; after "確定" these are what the user accepted.
    const std::string& folder() const { return folder_; }
    const std::string& name() const { return name_; }
    std::string_view password() const { return password_.view(); }

protected:
    // The form titled "輸入憑證檔案資訊" for the given model.
    FileAndPasswordForm(int templateId, std::string folder, std::string name, std::string password,
                        PasswordRange range);

    const PasswordRange& range() const { return range_; }

    // addPathEdit: the multi-line path field, showing shownPath().
    DialogControl& addPathEdit();
    // addPasswordEdit: a secret field `id` showing the model's password, whose
    // typing stops at the range's maximum.
    DialogControl& addPasswordEdit(int id);

    // shownPath: the folder and the name as one path; empty while there is
    // no folder.
    std::string shownPath() const;
    // showPath: the path field shows shownPath() again.
    void showPath() { setText(kPathId, shownPath()); }
    // takePath: the folder and the name become those of `path`.
    void takePath(std::string_view path);
    void setFolder(std::string folder) { folder_ = std::move(folder); }
    // takePassword: the model's password becomes the text of the password field.
    void takePassword() { password_.assign(text(kPasswordId)); }

private:
    void onCancel() final;

    std::string folder_;
    std::string name_;
    platform::SecretText password_;
    PasswordRange range_;
};

}  // namespace pennaform::ui
