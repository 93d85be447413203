// TerminalDialogHost: shows dialogs, choosers, the certificate viewer and
// message boxes on the process's controlling terminal (/dev/tty, not the
// standard streams, which carry the command's results). Without a
// controlling terminal nothing can be shown, and every call fails at once
// as on the headless host.
#pragma once

#include <utility>

#include "platform/PlatformDialogs.h"

namespace pennaform::ui {

// The terminal, declared only: the hosts' factory includes this header
// without the system headers the device stands on.
class TerminalDevice;

class TerminalDialogHost final : public platform::PlatformDialogs {
public:
    // runModal: the dialog as a TerminalForm; ERROR_NOT_SUPPORTED without a
    // terminal.
    platform::Outcome<platform::DialogEnd> runModal(platform::ModalDialog& dialog) override;
    // showError: the caption and the text on one line.
    void showError(std::string_view caption, std::string_view text) override;
    // chooseFile, chooseFolder: the title, then a typed path; a relative
    // path is taken from the initial folder, else the current folder. An
    // empty line or the end of input is ERROR_CANCELLED.
    platform::Outcome<std::string> chooseFile(const platform::FileChooserRequest& request) override;
    platform::Outcome<std::string> chooseFolder(std::string_view title) override;
    // viewCertificate: the certificate's fields as text, until Enter.
    // CRYPT_E_ASN1_CORRUPT when `der` is no certificate.
    platform::Status viewCertificate(platform::ByteView der, std::string_view title) override;
    // confirmKeyUse: a yes-or-no question; anything but yes is
    // ERROR_CANCELLED.
    platform::Status confirmKeyUse(const platform::KeyUseRequest& request) override;
    // askYesNo: the caption and the question; anything but yes is no.
    platform::Status askYesNo(std::string_view caption, std::string_view text) override;

private:
    // withTerminal: runs `use` on the terminal of the dialog being shown, or
    // on a newly opened one; ERROR_NOT_SUPPORTED when there is none.
    template <typename Use>
    auto withTerminal(Use use) -> decltype(use(std::declval<TerminalDevice&>()));
    platform::Outcome<std::string> askPath(std::string_view title, std::string_view heading,
                                           const std::string& base);

    TerminalDevice* shown_ = nullptr;
};

}  // namespace pennaform::ui
