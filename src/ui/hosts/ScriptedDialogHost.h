// ScriptedDialogHost: answers dialogs from a script instead of a user, and
// writes a transcript of what each one showed. Tests and demos use it.
//
// Each dialog, chooser and key prompt takes the next answer of the script
// when that answer is meant for it (the same template id or kind); a dialog
// with no such answer cannot be shown, as on the headless host, and the
// answer stays for the next one. A dialog still open after its actions is
// closed as its window's close box would. Message boxes are confirmed and
// the certificate viewer closed at once, without answers.
//
// The transcript holds one JSON line per dialog, written when it closes (so
// a chooser opened by a dialog's button comes before that dialog's line).
// Password fields show only their length.
//
// With a stage, each dialog is also shown in a window and the actions land on
// its widgets (typed into the fields, clicked on the buttons) instead of on
// the model directly; the message boxes, the choosers (the answer's path
// picked in them), the certificate viewer and the key prompt (its button
// pressed) are shown there too, and their answers read back from the
// windows. The transcript is the same either way.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/FileSystem.h"
#include "platform/PlatformDialogs.h"
#include "ui/hosts/DesktopWindows.h"
#include "ui/hosts/ScriptedAnswers.h"

namespace pennaform::ui {

class ScriptedDialogHost final : public platform::PlatformDialogs {
public:
    // ScriptedDialogHost: answers from `answers`; the transcript goes to
    // `transcript` (already open for writing), or nowhere when not valid;
    // the dialogs are shown on `stage` when there is one.
    ScriptedDialogHost(ScriptedAnswers answers, platform::OutputFile transcript,
                       std::unique_ptr<ScriptStage> stage = nullptr)
        : answers_(std::move(answers)),
          transcript_(std::move(transcript)),
          stage_(std::move(stage)) {}

    // runModal: the dialog's actions in order; ERROR_NOT_SUPPORTED without
    // an answer for it.
    platform::Outcome<platform::DialogEnd> runModal(platform::ModalDialog& dialog) override;
    void showError(std::string_view caption, std::string_view text) override;
    // chooseFile, chooseFolder: the answer's path; ERROR_CANCELLED for a
    // cancel; ERROR_NOT_SUPPORTED without an answer.
    platform::Outcome<std::string> chooseFile(const platform::FileChooserRequest& request) override;
    platform::Outcome<std::string> chooseFolder(std::string_view title) override;
    // viewCertificate: recorded with the certificate in Base64; success.
    platform::Status viewCertificate(platform::ByteView der, std::string_view title) override;
    // confirmKeyUse: the answer's allow; ERROR_CANCELLED for a refusal;
    // NTE_SILENT_CONTEXT without an answer.
    platform::Status confirmKeyUse(const platform::KeyUseRequest& request) override;
    // askYesNo: the answer's yes; ERROR_CANCELLED for no; ERROR_NOT_SUPPORTED
    // without an answer.
    platform::Status askYesNo(std::string_view caption, std::string_view text) override;

private:
    struct MessageBox {
        std::string caption;
        std::string text;
    };
    platform::Outcome<platform::DialogEnd> runScript(platform::ModalDialog& dialog);
    // answerChooser: the answer's path, through `stageChooser` when there is
    // a stage (it picks the path, or cancels for none, in a real chooser).
    platform::Outcome<std::string> answerChooser(
        AnswerKind kind, nlohmann::ordered_json record,
        const std::function<std::optional<std::string>(const std::optional<std::string>&)>&
            stageChooser);
    // writeRecord: one transcript line.
    void writeRecord(const nlohmann::ordered_json& record);

    ScriptedAnswers answers_;
    platform::OutputFile transcript_;
    std::unique_ptr<ScriptStage> stage_;
    // The message boxes of the dialog being run, while one is.
    std::vector<MessageBox>* messages_ = nullptr;
};

}  // namespace pennaform::ui
