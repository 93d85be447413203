// PlatformDialogs: the user-facing services the platform itself provides:
// modal dialogs and their message boxes, the file and folder choosers, the
// certificate viewer, and the prompt before a user-protected key is used.
// The dialog host implements them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ModalDialog.h"
#include "platform/Outcome.h"
#include "platform/PlatformError.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// FileFilter: one entry of a file chooser's type list: the description shown
// and the patterns it selects, separated by ';' ("*.pfx;*.p12").
struct FileFilter {
    std::string description;
    std::string patterns;
};

// FileChooserRequest: what an open-file chooser shows. Texts are 8-bit in the
// process code page; an empty initial folder leaves the choice to the host.
struct FileChooserRequest {
    std::string title;
    std::vector<FileFilter> filters;
    std::string initialFolder;
};

// KeyUse: what a user-protected key is about to be used for.
enum class KeyUse {
    kSign,
    kDecrypt,
    kExport,
    kCreate,  // a new key pair made user-protected
};

// keyUseName: the verb a prompt or a transcript names the use by.
constexpr const char* keyUseName(KeyUse use) {
    switch (use) {
        case KeyUse::kSign:
            return "sign";
        case KeyUse::kDecrypt:
            return "decrypt";
        case KeyUse::kExport:
            return "export";
        case KeyUse::kCreate:
            return "create";
    }
    return "use";
}

// KeyUseRequest: the key a protected-key prompt is about.
struct KeyUseRequest {
    std::string containerName;
    std::string providerName;
    KeyUse use = KeyUse::kSign;
};

// PlatformDialogs: implemented by the dialog host (headless, terminal,
// scripted). Every call is modal: it returns when the user has answered.
// Common failures: ERROR_CANCELLED when the user cancels, ERROR_NOT_SUPPORTED
// when the host cannot show the dialog at all.
class PlatformDialogs {
public:
    virtual ~PlatformDialogs() = default;

    // runModal: shows `dialog` and passes the user's actions to it until it
    // ends; the way it ended. ERROR_NOT_SUPPORTED when the dialog cannot be
    // shown (nothing of it was shown then).
    virtual Outcome<DialogEnd> runModal(ModalDialog& dialog) = 0;
    // showError: a message box with the error icon, the caption, the text and
    // one OK button; returns when the user has dismissed it.
    virtual void showError(std::string_view caption, std::string_view text) = 0;

    // chooseFile: the path of an existing or new file the user picked.
    virtual Outcome<std::string> chooseFile(const FileChooserRequest& request) = 0;
    // chooseFolder: the folder the user picked, under the title `title`.
    virtual Outcome<std::string> chooseFolder(std::string_view title) = 0;
    // viewCertificate: shows the DER certificate `der` with its fields, under
    // the title `title`; success when the viewer has been closed.
    virtual Status viewCertificate(ByteView der, std::string_view title) = 0;
    // confirmKeyUse: asks the user to allow one use of a user-protected key;
    // success when allowed, ERROR_CANCELLED when refused, NTE_SILENT_CONTEXT
    // when the host cannot ask (the key is then not used).
    virtual Status confirmKeyUse(const KeyUseRequest& request) = 0;
    // askYesNo: a message box with the caption, the text and Yes and No
    // buttons; success for yes, ERROR_CANCELLED for no. A host that cannot
    // ask (the headless one) answers ERROR_NOT_SUPPORTED, showing nothing.
    virtual Status askYesNo(std::string_view /*caption*/, std::string_view /*text*/) {
        return fail(errors::kErrorNotSupported);
    }
};

}  // namespace pennaform::platform
