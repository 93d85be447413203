// HeadlessDialogHost: the host of a process without a user: no dialog can be
// shown, so each operation that needs one reports the code it gives for a
// dialog that cannot be created. It never waits for input.
#pragma once

#include "platform/Platform.h"
#include "platform/PlatformDialogs.h"

namespace pennaform::ui {

class HeadlessDialogHost final : public platform::PlatformDialogs {
public:
    // runModal, chooseFile, chooseFolder, viewCertificate: ERROR_NOT_SUPPORTED.
    platform::Outcome<platform::DialogEnd> runModal(platform::ModalDialog& dialog) override;
    // showError: nothing to show it on; returns at once.
    void showError(std::string_view caption, std::string_view text) override;
    platform::Outcome<std::string> chooseFile(const platform::FileChooserRequest& request) override;
    platform::Outcome<std::string> chooseFolder(std::string_view title) override;
    platform::Status viewCertificate(platform::ByteView der, std::string_view title) override;
    // confirmKeyUse: NTE_SILENT_CONTEXT: nobody can be asked.
    platform::Status confirmKeyUse(const platform::KeyUseRequest& request) override;
};

// dialogHostOf: the host installed in `platform`, or the headless host when
// none is (the default).
platform::PlatformDialogs& dialogHostOf(platform::Platform& platform);

}  // namespace pennaform::ui
