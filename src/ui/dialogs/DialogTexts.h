// The fixed texts of the dialogs, kept as UTF-8 and turned into the process
// code page where a dialog is built (uiText).
#pragma once

#include <string>
#include <string_view>

namespace pennaform::ui {

namespace texts {
inline constexpr std::string_view kOk = "確定";
inline constexpr std::string_view kCancel = "取消";
inline constexpr std::string_view kBrowse = "瀏覽";
inline constexpr std::string_view kErrorCaption = "錯誤訊息";
inline constexpr std::string_view kUnspecified = "未指定";
inline constexpr std::string_view kDefaultPfxName = "*.pfx";
inline constexpr std::string_view kPasswordMismatch = "密碼不一致";
inline constexpr std::string_view kFileChooserTitle = "選擇憑證檔案";
inline constexpr std::string_view kFolderChooserTitle = "選擇憑證檔案儲存路徑 :";
inline constexpr std::string_view kPfxFilesDescription = "PFX Files (*.pfx;*.p12)";
inline constexpr std::string_view kPfxFilesPatterns = "*.pfx; *.p12";
inline constexpr std::string_view kAllFilesDescription = "All Files (*.*)";
inline constexpr std::string_view kAllFilesPatterns = "*.*";
inline constexpr std::string_view kFileInfoTitle = "輸入憑證檔案資訊";
inline constexpr std::string_view kPathLabel = "憑證檔案儲存路徑 :";
inline constexpr std::string_view kPasswordLabel = "輸入憑證密碼 :";
}  // namespace texts

// uiText: a fixed UTF-8 text in the process code page.
std::string uiText(std::string_view utf8);

// fileMissingMessage: the message for a path that names no file; an empty
// path reads as "未指定".
std::string fileMissingMessage(std::string_view path);
// folderUnusableMessage: the message for a folder that cannot be created or
// written; an empty folder reads as "未指定".
std::string folderUnusableMessage(std::string_view folder);

}  // namespace pennaform::ui
