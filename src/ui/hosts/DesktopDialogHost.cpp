#include "ui/hosts/DesktopDialogHost.h"

#include <mutex>

#include "platform/CertificateText.h"
#include "platform/CodePage.h"
#include "ui/hosts/KeyUseQuestion.h"

namespace pennaform::ui {

using platform::fail;
namespace errors = platform::errors;

namespace {

class ProcessTextConverter final : public TextConverter {
public:
    std::string toUtf8(std::string_view text) const override {
        return utf16ToUtf8(CodePage::process().toWide(text));
    }
    std::string fromUtf8(std::string_view text) const override {
        return CodePage::process().fromUtf8(text);
    }
};

// The module's windows raise nothing; memory running out in the texts'
// conversion is reported as such. The toolkit behind them serves one thread
// at a time, while the bridge's connections ask from several: one window (and
// the message boxes it opens on its own thread) is shown at a time, the other
// threads waiting their turn.
template <typename Show>
auto guarded(Show show) -> decltype(show()) {
    static std::recursive_mutex oneWindowAtATime;
    try {
        const std::lock_guard<std::recursive_mutex> turn(oneWindowAtATime);
        return show();
    } catch (...) {
        return fail(errors::kErrorNotEnoughMemory);
    }
}

}  // namespace

const TextConverter& processTextConverter() {
    static const ProcessTextConverter converter;
    return converter;
}

platform::Outcome<platform::DialogEnd> DesktopDialogHost::runModal(platform::ModalDialog& dialog) {
    return guarded([&]() -> platform::Outcome<platform::DialogEnd> {
        return windows_->runDialog(dialog, *this);
    });
}

void DesktopDialogHost::showError(std::string_view caption, std::string_view text) {
    try {
        windows_->askMessage(caption, text);
    } catch (...) {
        // Only memory running out throws here; the box is then not shown.
    }
}

platform::Outcome<std::string> DesktopDialogHost::chooseFile(
    const platform::FileChooserRequest& request) {
    return guarded([&]() -> platform::Outcome<std::string> {
        std::optional<std::string> path = windows_->chooseFile(request);
        if (!path) return fail(errors::kErrorCancelled);
        return std::move(*path);
    });
}

platform::Outcome<std::string> DesktopDialogHost::chooseFolder(std::string_view title) {
    return guarded([&]() -> platform::Outcome<std::string> {
        std::optional<std::string> path = windows_->chooseFolder(title);
        if (!path) return fail(errors::kErrorCancelled);
        return std::move(*path);
    });
}

platform::Status DesktopDialogHost::viewCertificate(platform::ByteView der,
                                                    std::string_view title) {
    return guarded([&]() -> platform::Status {
        std::optional<std::string> text = platform::certificateText(der);
        if (!text) return fail(errors::kCryptEAsn1Corrupt);
        windows_->showText(title, *text);
        return platform::Status::success();
    });
}

platform::Status DesktopDialogHost::confirmKeyUse(const platform::KeyUseRequest& request) {
    return guarded([&]() -> platform::Status {
        if (windows_->askYesNo(request.containerName, keyUseQuestion(request))) {
            return platform::Status::success();
        }
        return fail(errors::kErrorCancelled);
    });
}

platform::Status DesktopDialogHost::askYesNo(std::string_view caption, std::string_view text) {
    return guarded([&]() -> platform::Status {
        if (windows_->askYesNo(caption, text)) return platform::Status::success();
        return fail(errors::kErrorCancelled);
    });
}

}  // namespace pennaform::ui
