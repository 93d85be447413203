#include "ui/dialogs/DialogTexts.h"

#include "platform/CodePage.h"

namespace pennaform::ui {
namespace {

std::string orUnspecified(std::string_view text) {
    return text.empty() ? uiText(texts::kUnspecified) : std::string(text);
}

}  // namespace

std::string uiText(std::string_view utf8) {
    return CodePage::process().fromUtf8(utf8);
}

std::string fileMissingMessage(std::string_view path) {
    return uiText("憑證檔(") + orUnspecified(path) + uiText(") : 錯誤或不存在");
}

std::string folderUnusableMessage(std::string_view folder) {
    return uiText("憑證目錄 (") + orUnspecified(folder) + uiText(") : 錯誤或沒有寫入權限");
}

}  // namespace pennaform::ui
