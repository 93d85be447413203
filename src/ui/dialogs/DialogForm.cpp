#include "ui/dialogs/DialogForm.h"

#include "platform/CodePage.h"
#include "ui/dialogs/DialogTexts.h"

namespace pennaform::ui {
namespace {

// characterLength: the bytes of the character that starts at `lead` in the
// process code page (Big5 lead bytes take a trail byte; UTF-8 by its lead).
std::size_t characterLength(unsigned char lead) {
    if (CodePage::process().number() == CodePage::kBig5)
        return lead >= 0x81 && lead <= 0xFE ? 2 : 1;
    if (lead >= 0xF0 && lead <= 0xF7) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

// typedPrefix: what an edit with a typing limit takes of `text`: whole
// characters while they fit.
std::string_view typedPrefix(std::string_view text, std::size_t limit) {
    if (limit == 0) return text;
    std::size_t taken = 0;
    while (taken < text.size()) {
        std::size_t next = taken + characterLength(static_cast<unsigned char>(text[taken]));
        if (next > limit || next > text.size()) break;
        taken = next;
    }
    return text.substr(0, taken);
}

const std::string kNoText;

}  // namespace

bool DialogForm::typeText(int id, std::string_view text) {
    DialogControl* edit = find(id);
    if (edit == nullptr || edit->kind != ControlKind::kEdit || !edit->enabled || edit->readOnly) {
        return false;
    }
    edit->text = std::string(typedPrefix(text, edit->typingLimit));
    onTextChanged(id);
    return true;
}

bool DialogForm::selectRow(int id, std::optional<std::size_t> row) {
    DialogControl* list = find(id);
    if (list == nullptr || list->kind != ControlKind::kListView || !list->enabled) return false;
    if (row && *row >= list->rows.size()) return false;
    list->selectedRow = row;
    return true;
}

bool DialogForm::press(int id, PlatformDialogs& host) {
    const DialogControl* button = find(id);
    if (end_ || button == nullptr || button->kind != ControlKind::kButton || !button->enabled) {
        return false;
    }
    if (id == platform::kIdOk) {
        onOk(host);
    } else if (id == platform::kIdCancel) {
        onCancel();
    } else {
        onButton(id, host);
    }
    return true;
}

const std::string& DialogForm::text(int id) const {
    const DialogControl* control = find(id);
    return control != nullptr ? control->text : kNoText;
}

bool DialogForm::isEnabled(int id) const {
    const DialogControl* control = find(id);
    return control != nullptr && control->enabled;
}

void DialogForm::addLabel(std::string text, int id) {
    DialogControl& label = controls_.emplace_back();
    label.id = id;
    label.text = std::move(text);
}

void DialogForm::addGroupBox(std::string text) {
    DialogControl& group = controls_.emplace_back();
    group.kind = ControlKind::kGroupBox;
    group.text = std::move(text);
}

DialogControl& DialogForm::addEdit(int id, std::string text) {
    DialogControl& edit = controls_.emplace_back();
    edit.id = id;
    edit.kind = ControlKind::kEdit;
    edit.text = std::move(text);
    return edit;
}

DialogControl& DialogForm::addButton(int id, std::string text) {
    DialogControl& button = controls_.emplace_back();
    button.id = id;
    button.kind = ControlKind::kButton;
    button.text = std::move(text);
    return button;
}

DialogControl& DialogForm::addListView(int id) {
    DialogControl& list = controls_.emplace_back();
    list.id = id;
    list.kind = ControlKind::kListView;
    return list;
}

DialogControl* DialogForm::find(int id) {
    if (id == platform::kNoControlId) return nullptr;
    for (DialogControl& control : controls_) {
        if (control.id == id) return &control;
    }
    return nullptr;
}

const DialogControl* DialogForm::find(int id) const {
    return const_cast<DialogForm*>(this)->find(id);
}

void DialogForm::setText(int id, std::string text) {
    if (DialogControl* control = find(id)) control->text = std::move(text);
}

void DialogForm::setEnabled(int id, bool enabled) {
    if (DialogControl* control = find(id)) control->enabled = enabled;
}

void DialogForm::showError(PlatformDialogs& host, std::string_view message) {
    host.showError(uiText(texts::kErrorCaption), message);
}

void DialogForm::onButton(int, PlatformDialogs&) {}

void DialogForm::onTextChanged(int) {}

}  // namespace pennaform::ui
