#include "ui/hosts/HeadlessDialogHost.h"

namespace pennaform::ui {

using platform::fail;
namespace errors = platform::errors;

platform::Outcome<platform::DialogEnd> HeadlessDialogHost::runModal(platform::ModalDialog&) {
    return fail(errors::kErrorNotSupported);
}

void HeadlessDialogHost::showError(std::string_view, std::string_view) {}

platform::Outcome<std::string> HeadlessDialogHost::chooseFile(const platform::FileChooserRequest&) {
    return fail(errors::kErrorNotSupported);
}

platform::Outcome<std::string> HeadlessDialogHost::chooseFolder(std::string_view) {
    return fail(errors::kErrorNotSupported);
}

platform::Status HeadlessDialogHost::viewCertificate(platform::ByteView, std::string_view) {
    return fail(errors::kErrorNotSupported);
}

platform::Status HeadlessDialogHost::confirmKeyUse(const platform::KeyUseRequest&) {
    return fail(errors::kNteSilentContext);
}

platform::PlatformDialogs& dialogHostOf(platform::Platform& platform) {
    static HeadlessDialogHost headless;
    platform::PlatformDialogs* installed = platform.dialogs();
    return installed != nullptr ? *installed : headless;
}

}  // namespace pennaform::ui
