// RecordingHost: a dialog host for model tests. A test plays the user in
// `user`, which acts on each dialog shown; the host answers choosers with
// prepared paths and records message boxes, chooser requests and viewed
// certificates.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/PlatformDialogs.h"
#include "support/TemporaryFolder.h"

namespace pennaform::test {

struct ShownMessage {
    std::string caption;
    std::string text;
};

class RecordingHost : public platform::PlatformDialogs {
public:
    // user: what the user does in each dialog; a dialog it leaves open is
    // closed with the window's close box.
    std::function<void(platform::ModalDialog&)> user;
    std::optional<std::string> fileAnswer;    // nullopt: the chooser is cancelled
    std::optional<std::string> folderAnswer;  // nullopt: the chooser is cancelled

    int dialogsShown = 0;
    std::vector<ShownMessage> messages;
    std::vector<platform::FileChooserRequest> fileRequests;
    std::vector<std::string> folderTitles;
    std::vector<std::pair<platform::Bytes, std::string>> viewed;

    platform::Outcome<platform::DialogEnd> runModal(platform::ModalDialog& dialog) override {
        ++dialogsShown;
        if (user) user(dialog);
        if (!dialog.end()) dialog.closeWindow();
        return *dialog.end();
    }
    void showError(std::string_view caption, std::string_view text) override {
        messages.push_back({std::string(caption), std::string(text)});
    }
    platform::Outcome<std::string> chooseFile(
        const platform::FileChooserRequest& request) override {
        fileRequests.push_back(request);
        if (!fileAnswer) return platform::fail(platform::errors::kErrorCancelled);
        return *fileAnswer;
    }
    platform::Outcome<std::string> chooseFolder(std::string_view title) override {
        folderTitles.emplace_back(title);
        if (!folderAnswer) return platform::fail(platform::errors::kErrorCancelled);
        return *folderAnswer;
    }
    platform::Status viewCertificate(platform::ByteView der, std::string_view title) override {
        viewed.emplace_back(platform::Bytes(der.begin(), der.end()), std::string(title));
        return platform::Status::success();
    }
    platform::Status confirmKeyUse(const platform::KeyUseRequest&) override {
        return platform::fail(platform::errors::kErrorCancelled);
    }
};

// control: control `id` of the dialog as it stands now (it must exist).
inline const platform::DialogControl& control(const platform::ModalDialog& dialog, int id) {
    for (const auto& c : dialog.controls()) {
        if (c.id == id) return c;
    }
    throw std::logic_error("no control " + std::to_string(id));
}

}  // namespace pennaform::test
