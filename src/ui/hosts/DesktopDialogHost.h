// DesktopDialogHost: shows dialogs, message boxes, the choosers, the
// certificate viewer and the key prompt as windows of the desktop module.
#pragma once

#include <memory>
#include <utility>

#include "platform/PlatformDialogs.h"
#include "ui/hosts/DesktopWindows.h"

namespace pennaform::ui {

class DesktopDialogHost final : public platform::PlatformDialogs {
public:
    explicit DesktopDialogHost(std::unique_ptr<DesktopWindows> windows)
        : windows_(std::move(windows)) {}

    platform::Outcome<platform::DialogEnd> runModal(platform::ModalDialog& dialog) override;
    void showError(std::string_view caption, std::string_view text) override;
    // chooseFile, chooseFolder: ERROR_CANCELLED when the chooser is cancelled.
    platform::Outcome<std::string> chooseFile(const platform::FileChooserRequest& request) override;
    platform::Outcome<std::string> chooseFolder(std::string_view title) override;
    // viewCertificate: CRYPT_E_ASN1_CORRUPT when `der` is no certificate.
    platform::Status viewCertificate(platform::ByteView der, std::string_view title) override;
    // confirmKeyUse: ERROR_CANCELLED unless the user allows the use.
    platform::Status confirmKeyUse(const platform::KeyUseRequest& request) override;
    // askYesNo: ERROR_CANCELLED unless the user answers yes.
    platform::Status askYesNo(std::string_view caption, std::string_view text) override;

private:
    std::unique_ptr<DesktopWindows> windows_;
};

// processTextConverter: the process code page's conversions, for the module.
const TextConverter& processTextConverter();

}  // namespace pennaform::ui
