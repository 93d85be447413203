#include "ui/dialogs/FileAndPasswordForm.h"

#include "platform/FileSystem.h"
#include "ui/dialogs/DialogTexts.h"
#include "ui/dialogs/PathRules.h"

namespace pennaform::ui {

FileAndPasswordForm::FileAndPasswordForm(int templateId, std::string folder, std::string name,
                                         std::string password, PasswordRange range)
    : DialogForm(templateId, uiText(texts::kFileInfoTitle)),
      folder_(std::move(folder)),
      name_(std::move(name)),
      password_(password),
      range_(range) {}

DialogControl& FileAndPasswordForm::addPathEdit() {
    DialogControl& path = addEdit(kPathId, shownPath());
    path.multiline = true;
    return path;
}

DialogControl& FileAndPasswordForm::addPasswordEdit(int id) {
    DialogControl& edit = addEdit(id, std::string(password_.view()));
    edit.secret = true;
    edit.typingLimit = std::size_t(range_.maximum());
    return edit;
}

std::string FileAndPasswordForm::shownPath() const {
    return folder_.empty() ? "" : platform::joinPath(folder_, name_);
}

void FileAndPasswordForm::takePath(std::string_view path) {
    FolderAndName parts = splitPath(path);
    folder_ = std::move(parts.folder);
    name_ = std::move(parts.name);
}

void FileAndPasswordForm::onCancel() {
    name_.clear();
    password_.clear();
    finish(DialogEnd::kCancel);
}

}  // namespace pennaform::ui
