// How the dialogs show a folder and a file name as one path, and split a
// chosen path back into the two. POSIX paths: the separator is '/'.
#pragma once

#include <string>
#include <string_view>

namespace pennaform::ui {

// composePath: the folder, a '/' unless the folder already ends with one, and
// the name.
std::string composePath(std::string_view folder, std::string_view name);

struct FolderAndName {
    std::string folder;
    std::string name;
};

// splitPath: the text before and after the last '/'. A file directly under
// the root has the folder "/"; a path without any '/' names a file of the
// current folder, ".".
FolderAndName splitPath(std::string_view path);

}  // namespace pennaform::ui
