#include "ui/dialogs/PathRules.h"

namespace pennaform::ui {

std::string composePath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!folder.ends_with('/')) path += '/';
    path += name;
    return path;
}

FolderAndName splitPath(std::string_view path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {".", std::string(path)};
    std::string_view folder = slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
    return {std::string(folder), std::string(path.substr(slash + 1))};
}

}  // namespace pennaform::ui
