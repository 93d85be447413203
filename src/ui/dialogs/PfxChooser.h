// The choosers that the PFX dialogs open with their "瀏覽" button.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/PlatformDialogs.h"

namespace pennaform::ui {

// choosePfxFile: the host's file chooser titled "選擇憑證檔案", listing PFX
// files first and all files second, starting in `initialFolder` when it is
// not empty; the chosen path, or nullopt when the user chose nothing.
std::optional<std::string> choosePfxFile(platform::PlatformDialogs& host,
                                         std::string_view initialFolder);

// choosePfxFolder: the host's folder chooser titled "選擇憑證檔案儲存路徑 :"; the
// chosen folder, or nullopt.
std::optional<std::string> choosePfxFolder(platform::PlatformDialogs& host);

}  // namespace pennaform::ui
