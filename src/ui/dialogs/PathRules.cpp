#include "ui/dialogs/PathRules.h"

#include "platform/FileSystem.h"

namespace pennaform::ui {

FolderAndName splitPath(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return {platform::folderOf(path), std::string(name)};
}

}  // namespace pennaform::ui
