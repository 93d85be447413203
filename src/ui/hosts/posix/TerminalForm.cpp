#include "ui/hosts/posix/TerminalForm.h"

#include <charconv>
#include <optional>
#include <string>

namespace pennaform::ui {
namespace {

using platform::ControlKind;
using platform::DialogControl;

// shownText: what an edit shows: its text, or one '*' per byte of a password.
std::string shownText(const DialogControl& edit) {
    return edit.secret ? std::string(edit.text.size(), '*') : edit.text;
}

std::optional<std::size_t> parseNumber(std::string_view text) {
    std::size_t number = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}

std::string listTable(const DialogControl& list) {
    std::string table = "     ";
    for (std::size_t c = 0; c < list.columns.size(); ++c) {
        table += (c > 0 ? " | " : "") + list.columns[c].heading;
    }
    table += '\n';
    for (std::size_t r = 0; r < list.rows.size(); ++r) {
        bool selected = list.selectedRow == r;
        std::string number = std::to_string(r + 1);
        table += std::string(number.size() < 3 ? 3 - number.size() : 0, ' ') + number +
                 (selected ? "* " : "  ");
        for (std::size_t c = 0; c < list.rows[r].size(); ++c) {
            table += (c > 0 ? " | " : "") + list.rows[r][c];
        }
        table += '\n';
    }
    return table;
}

}  // namespace

platform::DialogEnd TerminalForm::run() {
    terminal_.write("\n== " + std::string(dialog_.title()) + " ==\n");
    terminal_.write(
        "(Enter keeps a value; type a button's number to press it, Enter alone the default;"
        " Ctrl-D closes the window)\n");
    while (!dialog_.end()) {
        if (!askFields() || (!dialog_.end() && !askButton())) dialog_.closeWindow();
    }
    return *dialog_.end();
}

bool TerminalForm::askFields() {
    std::string label;
    auto flushLabel = [&] {
        if (!label.empty()) terminal_.write(label + "\n");
        label.clear();
    };
    // Controls are copied one by one: the dialog may change them as the user
    // types.
    for (std::size_t i = 0; i < dialog_.controls().size(); ++i) {
        const DialogControl control = dialog_.controls()[i];
        switch (control.kind) {
            case ControlKind::kLabel:
            case ControlKind::kGroupBox:
                flushLabel();
                label = control.text;
                break;
            case ControlKind::kEdit:
                if (!askEdit(control, label)) return false;
                label.clear();
                break;
            case ControlKind::kListView:
                if (!askRow(control, label)) return false;
                label.clear();
                break;
            case ControlKind::kButton:
                break;
        }
    }
    flushLabel();
    return true;
}

bool TerminalForm::askEdit(const DialogControl& edit, const std::string& label) {
    if (!edit.enabled || edit.readOnly) {
        terminal_.write(label + (edit.multiline ? "\n" : " ") + shownText(edit) + "\n");
        return true;
    }
    std::string prompt = label + " [" + shownText(edit) + "] ";
    auto typed = edit.secret ? terminal_.readHiddenLine(prompt) : terminal_.readLine(prompt);
    if (!typed) return false;
    if (!typed->empty()) dialog_.typeText(edit.id, *typed);
    return true;
}

bool TerminalForm::askRow(const DialogControl& list, const std::string& label) {
    terminal_.write(label + "\n" + listTable(list));
    for (;;) {
        std::string current = list.selectedRow ? std::to_string(*list.selectedRow + 1) : "";
        auto typed = terminal_.readLine("[" + current + "] ");
        if (!typed) return false;
        if (typed->empty()) return true;
        auto number = parseNumber(*typed);
        if (number && *number >= 1 && dialog_.selectRow(list.id, *number - 1)) return true;
        terminal_.write("(no row " + *typed + ")\n");
    }
}

bool TerminalForm::askButton() {
    std::string menu;
    int defaultId = platform::kNoControlId;
    for (const DialogControl& control : dialog_.controls()) {
        if (control.kind != ControlKind::kButton) continue;
        std::string id = std::to_string(control.id);
        menu += control.enabled ? "[" + id + "] " : "(" + id + ") ";
        menu += control.text + "  ";
        if (control.isDefault && control.enabled) defaultId = control.id;
    }
    for (;;) {
        auto typed = terminal_.readLine(menu + "> ");
        if (!typed) return false;
        std::optional<std::size_t> number = typed->empty() && defaultId != platform::kNoControlId
                                                ? std::optional<std::size_t>(defaultId)
                                                : parseNumber(*typed);
        if (number && *number <= 0xFFFF && dialog_.press(int(*number), host_)) return true;
        terminal_.write("(no button " + *typed + " to press)\n");
    }
}

}  // namespace pennaform::ui
