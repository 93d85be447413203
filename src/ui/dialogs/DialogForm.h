// DialogForm: what the dialogs share: the controls, the user's actions on
// them, and the end. Each dialog adds its model and its reactions to the
// buttons and to typing.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ModalDialog.h"
#include "platform/PlatformDialogs.h"

namespace pennaform::ui {

using platform::ControlKind;
using platform::DialogControl;
using platform::DialogEnd;
using platform::PlatformDialogs;

class DialogForm : public platform::ModalDialog {
public:
    int templateId() const final { return templateId_; }
    std::string_view title() const final { return title_; }
    std::span<const DialogControl> controls() const final { return controls_; }
    bool typeText(int id, std::string_view text) final;
    bool selectRow(int id, std::optional<std::size_t> row) final;
    bool press(int id, PlatformDialogs& host) final;
    void closeWindow() final { onCancel(); }
    std::optional<DialogEnd> end() const final { return end_; }

    // text: the current text of control `id` (empty for an unknown id).
    const std::string& text(int id) const;
    // isEnabled: whether control `id` exists and is enabled.
    bool isEnabled(int id) const;

protected:
    DialogForm(int templateId, std::string title)
        : templateId_(templateId), title_(std::move(title)) {}

    // Builders for the layout, in order; texts in the process code page.
    void addLabel(std::string text, int id = platform::kNoControlId);
    void addGroupBox(std::string text);
    DialogControl& addEdit(int id, std::string text = {});
    DialogControl& addButton(int id, std::string text);
    DialogControl& addListView(int id);

    DialogControl* find(int id);
    const DialogControl* find(int id) const;
    // setText: the dialog's own change of a control's text (no typing limit).
    void setText(int id, std::string text);
    void setEnabled(int id, bool enabled);
    void finish(DialogEnd how) { end_ = how; }
    // showError: a message box captioned "錯誤訊息"; the dialog stays open.
    static void showError(PlatformDialogs& host, std::string_view message);

    // Reactions: "確定", "取消" (or closing the window), any other button,
    // and a change of an edit's text by the user.
    virtual void onOk(PlatformDialogs& host) = 0;
    virtual void onCancel() = 0;
    virtual void onButton(int id, PlatformDialogs& host);
    virtual void onTextChanged(int id);

private:
    int templateId_;
    std::string title_;
    std::vector<DialogControl> controls_;
    std::optional<DialogEnd> end_;
};

}  // namespace pennaform::ui
