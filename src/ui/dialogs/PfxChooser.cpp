#include "ui/dialogs/PfxChooser.h"

#include "ui/dialogs/DialogTexts.h"

namespace pennaform::ui {

std::optional<std::string> choosePfxFile(platform::PlatformDialogs& host,
                                         std::string_view initialFolder) {
    platform::FileChooserRequest request;
    request.title = uiText(texts::kFileChooserTitle);
    request.filters = {{uiText(texts::kPfxFilesDescription), uiText(texts::kPfxFilesPatterns)},
                       {uiText(texts::kAllFilesDescription), uiText(texts::kAllFilesPatterns)}};
    request.initialFolder = std::string(initialFolder);
    auto chosen = host.chooseFile(request);
    if (!chosen) return std::nullopt;
    return std::move(chosen).value();
}

std::optional<std::string> choosePfxFolder(platform::PlatformDialogs& host) {
    auto chosen = host.chooseFolder(uiText(texts::kFolderChooserTitle));
    if (!chosen) return std::nullopt;
    return std::move(chosen).value();
}

}  // namespace pennaform::ui
