// TerminalForm: one modal dialog on the terminal. Each round shows the
// fields in layout order, each under its own label, asks for those the user
// can change (passwords hidden; Enter keeps a value), then asks for a button.
// A list view is a numbered table with its selection marked. The round
// repeats until the dialog ends; the end of input closes the window.
#pragma once

#include "platform/ModalDialog.h"
#include "platform/PlatformDialogs.h"
#include "ui/hosts/posix/TerminalDevice.h"

namespace pennaform::ui {

class TerminalForm {
public:
    TerminalForm(TerminalDevice& terminal, platform::ModalDialog& dialog,
                 platform::PlatformDialogs& host)
        : terminal_(terminal), dialog_(dialog), host_(host) {}

    // run: shows the dialog until it ends; how it ended.
    platform::DialogEnd run();

private:
    // Each returns false when the input has ended.
    bool askFields();
    bool askEdit(const platform::DialogControl& edit, const std::string& label);
    bool askRow(const platform::DialogControl& list, const std::string& label);
    bool askButton();

    TerminalDevice& terminal_;
    platform::ModalDialog& dialog_;
    platform::PlatformDialogs& host_;
};

}  // namespace pennaform::ui
