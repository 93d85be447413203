#include "ui/hosts/posix/TerminalDialogHost.h"

#include <unistd.h>

#include <climits>

#include "platform/CertificateText.h"
#include "platform/FileSystem.h"
#include "ui/hosts/KeyUseQuestion.h"
#include "ui/hosts/posix/TerminalForm.h"

namespace pennaform::ui {
namespace {

using platform::fail;
namespace errors = platform::errors;

std::string currentFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string("/");
}

}  // namespace

template <typename Use>
auto TerminalDialogHost::withTerminal(Use use) -> decltype(use(std::declval<TerminalDevice&>())) {
    try {
        if (shown_ != nullptr) return use(*shown_);
        std::optional<TerminalDevice> terminal = TerminalDevice::open();
        if (!terminal) return fail(errors::kErrorNotSupported);
        // Nested calls (a chooser or a message box of the dialog being shown)
        // use the same terminal; the slot is cleared again on every path.
        struct ShownScope {
            TerminalDevice*& slot;
            TerminalDevice* outer;
            ~ShownScope() { slot = outer; }
        } scope{shown_, std::exchange(shown_, &*terminal)};
        return use(*terminal);
    } catch (...) {
        // Only memory running out throws here; the terminal's modes are
        // already restored by their owner.
        return fail(errors::kErrorNotEnoughMemory);
    }
}

platform::Outcome<platform::DialogEnd> TerminalDialogHost::runModal(platform::ModalDialog& dialog) {
    return withTerminal([&](TerminalDevice& terminal) -> platform::Outcome<platform::DialogEnd> {
        return TerminalForm(terminal, dialog, *this).run();
    });
}

void TerminalDialogHost::showError(std::string_view caption, std::string_view text) {
    (void)withTerminal([&](TerminalDevice& terminal) -> platform::Status {
        terminal.write("\n" + std::string(caption) + ": " + std::string(text) + "\n\n");
        return platform::Status::success();
    });
}

platform::Outcome<std::string> TerminalDialogHost::askPath(std::string_view title,
                                                           std::string_view heading,
                                                           const std::string& base) {
    return withTerminal([&](TerminalDevice& terminal) -> platform::Outcome<std::string> {
        terminal.write("\n== " + std::string(title) + " ==\n" + std::string(heading));
        auto typed = terminal.readLine(base + " > ");
        if (!typed || typed->empty()) return fail(errors::kErrorCancelled);
        if (typed->front() == '/') return *typed;
        return platform::joinPath(base, *typed);
    });
}

platform::Outcome<std::string> TerminalDialogHost::chooseFile(
    const platform::FileChooserRequest& request) {
    std::string filters;
    for (const platform::FileFilter& filter : request.filters) {
        filters += (filters.empty() ? "" : ", ") + filter.description;
    }
    if (!filters.empty()) filters += "\n";
    std::string base = request.initialFolder.empty() ? currentFolder() : request.initialFolder;
    return askPath(request.title, filters, base);
}

platform::Outcome<std::string> TerminalDialogHost::chooseFolder(std::string_view title) {
    return askPath(title, "", currentFolder());
}

platform::Status TerminalDialogHost::viewCertificate(platform::ByteView der,
                                                     std::string_view title) {
    return withTerminal([&](TerminalDevice& terminal) -> platform::Status {
        std::optional<std::string> text = platform::certificateText(der);
        if (!text) return fail(errors::kCryptEAsn1Corrupt);
        terminal.write("\n== " + std::string(title) + " ==\n" + *text);
        (void)terminal.readLine("(Enter closes the viewer) ");
        return platform::Status::success();
    });
}

platform::Status TerminalDialogHost::confirmKeyUse(const platform::KeyUseRequest& request) {
    return askYesNo({}, keyUseQuestion(request));
}

platform::Status TerminalDialogHost::askYesNo(std::string_view caption, std::string_view text) {
    return withTerminal([&](TerminalDevice& terminal) -> platform::Status {
        std::string question = "\n";
        if (!caption.empty()) question += "== " + std::string(caption) + " ==\n";
        question += std::string(text) + " [y/N] ";
        auto typed = terminal.readLine(question);
        if (typed && (*typed == "y" || *typed == "Y" || *typed == "yes")) {
            return platform::Status::success();
        }
        return fail(errors::kErrorCancelled);
    });
}

}  // namespace pennaform::ui
