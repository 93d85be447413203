// ScriptedAnswers: the answers a scripted host gives, read from a JSON file:
// one entry for each dialog, chooser or key prompt, in the order they open.
// The file comes from outside: every part of it is checked before use, and a
// file that does not fit the format is refused as a whole.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pennaform::ui {

// ScriptAction: one thing the user does in a dialog.
struct SetText {
    int id = 0;
    std::string text;  // process code page
};
struct PressButton {
    int id = 0;
};
struct SelectRow {
    std::optional<std::size_t> row;  // nullopt clears the selection
};
struct CloseWindow {};
using ScriptAction = std::variant<SetText, PressButton, SelectRow, CloseWindow>;

enum class AnswerKind {
    kDialog,         // a dialog with a template id, answered by actions
    kFileChooser,    // answered by a path or a cancel
    kFolderChooser,  // answered by a path or a cancel
    kKeyUse,         // answered by allow or refuse
    kYesNo,          // a yes-or-no message box, answered by yes or no
};

struct ScriptAnswer {
    AnswerKind kind = AnswerKind::kDialog;
    int templateId = 0;
    std::vector<ScriptAction> actions;
    std::optional<std::string> path;  // choosers: nullopt cancels; process code page
    bool allow = false;               // key prompts: allow; yes-or-no boxes: yes
};

class ScriptedAnswers {
public:
    // parse: the answers in `json` (UTF-8), or nullopt with `outProblem`
    // saying what does not fit.
    static std::optional<ScriptedAnswers> parse(std::string_view json, std::string& outProblem);

    // take: the next answer when it is of `kind` (and, for a dialog, of
    // `templateId`); nullopt, consuming nothing, otherwise.
    std::optional<ScriptAnswer> take(AnswerKind kind, int templateId = 0);

private:
    std::deque<ScriptAnswer> answers_;
};

}  // namespace pennaform::ui
