// How the dialogs split a chosen path back into the folder and the file name
// they show. Joining the two is the platform's joinPath.
#pragma once

#include <string>
#include <string_view>

namespace pennaform::ui {

struct FolderAndName {
    std::string folder;
    std::string name;
};

// splitPath: the text before and after the last '/'. A file directly under
// the root has the folder "/"; a path without any '/' names a file of the
// current folder, ".".
FolderAndName splitPath(std::string_view path);

}  // namespace pennaform::ui
