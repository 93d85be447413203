#include "ui/hosts/ScriptedDialogHost.h"

#include <cstdint>

#include <nlohmann/json.hpp>

#include "encoding/ByteBuffer.h"
#include "platform/CertificateText.h"
#include "platform/CodePage.h"
#include "ui/hosts/DesktopDialogHost.h"
#include "ui/hosts/KeyUseQuestion.h"

namespace pennaform::ui {
namespace {

using nlohmann::ordered_json;
using platform::ControlKind;
using platform::DialogControl;
using platform::DialogEnd;
using platform::fail;
namespace errors = platform::errors;

// utf8Of: a text of the process code page as the transcript's UTF-8.
std::string utf8Of(std::string_view text) {
    return utf16ToUtf8(CodePage::process().toWide(text));
}

const char* kindName(ControlKind kind, bool secret) {
    switch (kind) {
        case ControlKind::kLabel:
            return "label";
        case ControlKind::kGroupBox:
            return "group";
        case ControlKind::kEdit:
            return secret ? "password" : "edit";
        case ControlKind::kButton:
            return "button";
        case ControlKind::kListView:
            return "list";
    }
    return "control";
}

ordered_json listJson(const DialogControl& list, ordered_json control) {
    ordered_json columns = ordered_json::array();
    for (const auto& column : list.columns) columns.push_back(utf8Of(column.heading));
    ordered_json rows = ordered_json::array();
    for (const auto& row : list.rows) {
        ordered_json texts = ordered_json::array();
        for (const auto& text : row) texts.push_back(utf8Of(text));
        rows.push_back(std::move(texts));
    }
    control["columns"] = std::move(columns);
    control["rows"] = std::move(rows);
    control["selected"] = list.selectedRow ? ordered_json(*list.selectedRow) : ordered_json();
    control["enabled"] = list.enabled;
    return control;
}

ordered_json controlJson(const DialogControl& control) {
    ordered_json shown;
    if (control.id != platform::kNoControlId) shown["id"] = control.id;
    shown["kind"] = kindName(control.kind, control.secret);
    if (control.kind == ControlKind::kListView) return listJson(control, std::move(shown));
    // A password field shows dots: the transcript keeps only their number.
    if (control.secret) {
        shown["length"] = control.text.size();
    } else {
        shown["text"] = utf8Of(control.text);
    }
    if (control.kind == ControlKind::kEdit || control.kind == ControlKind::kButton) {
        shown["enabled"] = control.enabled;
    }
    if (control.readOnly) shown["readOnly"] = true;
    if (control.isDefault) shown["default"] = true;
    return shown;
}

ordered_json controlsJson(const platform::ModalDialog& dialog) {
    ordered_json controls = ordered_json::array();
    for (const DialogControl& control : dialog.controls()) controls.push_back(controlJson(control));
    return controls;
}

std::optional<int> firstListId(const platform::ModalDialog& dialog) {
    for (const DialogControl& control : dialog.controls()) {
        if (control.kind == ControlKind::kListView) return control.id;
    }
    return std::nullopt;
}

// perform: one action on the dialog; false when the dialog refused it.
bool perform(const ScriptAction& action, platform::ModalDialog& dialog,
             platform::PlatformDialogs& host) {
    if (const auto* set = std::get_if<SetText>(&action)) return dialog.typeText(set->id, set->text);
    if (const auto* press = std::get_if<PressButton>(&action)) return dialog.press(press->id, host);
    if (const auto* select = std::get_if<SelectRow>(&action)) {
        std::optional<int> list = firstListId(dialog);
        return list && dialog.selectRow(*list, select->row);
    }
    dialog.closeWindow();
    return true;
}

ordered_json actionJson(const ScriptAction& action) {
    if (const auto* set = std::get_if<SetText>(&action)) return {{"set", set->id}};
    if (const auto* press = std::get_if<PressButton>(&action)) return {{"press", press->id}};
    if (const auto* select = std::get_if<SelectRow>(&action)) {
        return {{"select", select->row ? ordered_json(*select->row) : ordered_json()}};
    }
    return {{"close", true}};
}

const char* endName(DialogEnd end) {
    return end == DialogEnd::kOk ? "ok" : "cancel";
}

}  // namespace

platform::Outcome<DialogEnd> ScriptedDialogHost::runModal(platform::ModalDialog& dialog) {
    try {
        return runScript(dialog);
    } catch (...) {
        // Only memory running out throws here.
        return fail(errors::kErrorNotEnoughMemory);
    }
}

platform::Outcome<DialogEnd> ScriptedDialogHost::runScript(platform::ModalDialog& dialog) {
    ordered_json record = {{"dialog", dialog.templateId()},
                           {"title", utf8Of(dialog.title())},
                           {"shown", controlsJson(dialog)}};
    std::optional<ScriptAnswer> answer = answers_.take(AnswerKind::kDialog, dialog.templateId());
    if (!answer) {
        record["result"] = "unanswered";
        writeRecord(record);
        return fail(errors::kErrorNotSupported);
    }
    std::vector<MessageBox> messages;
    // The dialog's message boxes are collected here while it runs; the slot
    // is given back on every path.
    struct MessagesScope {
        std::vector<MessageBox>*& slot;
        std::vector<MessageBox>* outer;
        ~MessagesScope() { slot = outer; }
    } scope{messages_, std::exchange(messages_, &messages)};
    // The stage's window, when there is one, is taken away on every path.
    struct StageScope {
        ScriptStage* stage;
        ~StageScope() {
            if (stage != nullptr) stage->close();
        }
    } shown{stage_.get()};
    if (stage_) stage_->open(dialog, *this);
    auto act = [&](const ScriptAction& action) {
        return stage_ ? stage_->perform(action) : perform(action, dialog, *this);
    };
    ordered_json refused = ordered_json::array();
    std::size_t unused = 0;
    for (const ScriptAction& action : answer->actions) {
        if (dialog.end()) {
            ++unused;
        } else if (!act(action)) {
            refused.push_back(actionJson(action));
        }
    }
    bool closedByHost = !dialog.end();
    if (closedByHost) {
        (void)act(CloseWindow{});
        if (!dialog.end()) dialog.closeWindow();
    }

    ordered_json shownMessages = ordered_json::array();
    for (const MessageBox& box : messages) {
        shownMessages.push_back({{"caption", utf8Of(box.caption)}, {"text", utf8Of(box.text)}});
    }
    record["messages"] = std::move(shownMessages);
    record["final"] = controlsJson(dialog);
    if (!refused.empty()) record["refused"] = std::move(refused);
    if (unused > 0) record["unusedActions"] = unused;
    if (closedByHost) record["closedByHost"] = true;
    DialogEnd end = dialog.end().value_or(DialogEnd::kCancel);
    record["result"] = endName(end);
    writeRecord(record);
    return end;
}

void ScriptedDialogHost::showError(std::string_view caption, std::string_view text) {
    try {
        if (stage_) stage_->showMessage(caption, text);
        if (messages_ != nullptr) {
            messages_->push_back({std::string(caption), std::string(text)});
            return;
        }
        writeRecord(
            {{"dialog", "messageBox"}, {"caption", utf8Of(caption)}, {"text", utf8Of(text)}});
    } catch (...) {
        // Only memory running out throws here; the box is then not recorded.
    }
}

platform::Outcome<std::string> ScriptedDialogHost::answerChooser(
    AnswerKind kind, ordered_json record,
    const std::function<std::optional<std::string>(const std::optional<std::string>&)>&
        stageChooser) {
    std::optional<ScriptAnswer> answer = answers_.take(kind);
    if (!answer) {
        record["result"] = "unanswered";
        writeRecord(record);
        return fail(errors::kErrorNotSupported);
    }
    if (stage_) answer->path = stageChooser(answer->path);
    if (!answer->path) {
        record["result"] = "cancel";
        writeRecord(record);
        return fail(errors::kErrorCancelled);
    }
    record["result"] = "ok";
    record["path"] = utf8Of(*answer->path);
    writeRecord(record);
    return std::move(*answer->path);
}

platform::Outcome<std::string> ScriptedDialogHost::chooseFile(
    const platform::FileChooserRequest& request) {
    try {
        ordered_json filters = ordered_json::array();
        for (const platform::FileFilter& filter : request.filters) {
            filters.push_back({{"description", utf8Of(filter.description)},
                               {"patterns", utf8Of(filter.patterns)}});
        }
        return answerChooser(AnswerKind::kFileChooser,
                             {{"dialog", "fileChooser"},
                              {"title", utf8Of(request.title)},
                              {"filters", std::move(filters)},
                              {"initialFolder", utf8Of(request.initialFolder)}},
                             [&](const std::optional<std::string>& path) {
                                 return stage_->answerFileChooser(request, path);
                             });
    } catch (...) {
        return fail(errors::kErrorNotEnoughMemory);
    }
}

platform::Outcome<std::string> ScriptedDialogHost::chooseFolder(std::string_view title) {
    try {
        return answerChooser(AnswerKind::kFolderChooser,
                             {{"dialog", "folderChooser"}, {"title", utf8Of(title)}},
                             [&](const std::optional<std::string>& path) {
                                 return stage_->answerFolderChooser(title, path);
                             });
    } catch (...) {
        return fail(errors::kErrorNotEnoughMemory);
    }
}

platform::Status ScriptedDialogHost::viewCertificate(platform::ByteView der,
                                                     std::string_view title) {
    try {
        ByteBuffer base64;
        if (der.size() > std::size_t(INT32_MAX) ||
            (!der.empty() && !base64.base64Encode(der.data(), std::int32_t(der.size())))) {
            return fail(errors::kErrorNotEnoughMemory);
        }
        if (stage_) {
            if (std::optional<std::string> text = platform::certificateText(der)) {
                stage_->dismissText(title, *text);
            }
        }
        writeRecord({{"dialog", "certificateViewer"},
                     {"title", utf8Of(title)},
                     {"certificate", std::string(base64.text())}});
        return platform::Status::success();
    } catch (...) {
        return fail(errors::kErrorNotEnoughMemory);
    }
}

platform::Status ScriptedDialogHost::confirmKeyUse(const platform::KeyUseRequest& request) {
    try {
        ordered_json record = {{"dialog", "keyUse"},
                               {"container", utf8Of(request.containerName)},
                               {"provider", utf8Of(request.providerName)},
                               {"use", platform::keyUseName(request.use)}};
        std::optional<ScriptAnswer> answer = answers_.take(AnswerKind::kKeyUse);
        if (answer && stage_) {
            answer->allow =
                stage_->answerYesNo(request.containerName, keyUseQuestion(request), answer->allow);
        }
        record["result"] = !answer ? "unanswered" : answer->allow ? "allow" : "refuse";
        writeRecord(record);
        if (!answer) return fail(errors::kNteSilentContext);
        return answer->allow ? platform::Status::success() : fail(errors::kErrorCancelled);
    } catch (...) {
        return fail(errors::kErrorNotEnoughMemory);
    }
}

platform::Status ScriptedDialogHost::askYesNo(std::string_view caption, std::string_view text) {
    try {
        std::optional<ScriptAnswer> answer = answers_.take(AnswerKind::kYesNo);
        writeRecord({{"dialog", "yesNo"},
                     {"caption", utf8Of(caption)},
                     {"text", utf8Of(text)},
                     {"result", !answer         ? "unanswered"
                                : answer->allow ? "yes"
                                                : "no"}});
        if (!answer) return fail(errors::kErrorNotSupported);
        return answer->allow ? platform::Status::success() : fail(errors::kErrorCancelled);
    } catch (...) {
        return fail(errors::kErrorNotEnoughMemory);
    }
}

void ScriptedDialogHost::writeRecord(const ordered_json& record) {
    if (!transcript_.valid()) return;
    std::string line = record.dump(-1, ' ', false, ordered_json::error_handler_t::replace) + "\n";
    // A transcript that cannot be written is given up.
    (void)transcript_.writeAll(line);
}

}  // namespace pennaform::ui
