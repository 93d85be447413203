// ModalDialog: a dialog as the dialog host sees it: its controls with their
// texts and states, and the user's actions on them. The dialog itself (its
// rules and checks) lives behind this interface; the host only shows the
// controls and passes on what the user does, like a dialog procedure behind a
// window.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pennaform::platform {

class PlatformDialogs;

// Control ids with a fixed meaning (IDOK, IDCANCEL, IDC_STATIC).
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kNoControlId = -1;

enum class ControlKind {
    kLabel,
    kGroupBox,
    kEdit,
    kButton,
    kListView,
};

// ListColumn: one column of a list view: its heading and width in pixels.
struct ListColumn {
    std::string heading;
    int width = 0;
};

// DialogControl: one control as it stands now. Texts are 8-bit in the
// process code page.
struct DialogControl {
    int id = kNoControlId;
    ControlKind kind = ControlKind::kLabel;
    // text: the caption of a label, group box or button, or an edit's contents.
    std::string text;
    bool enabled = true;
    bool readOnly = false;   // edits the user cannot type into
    bool secret = false;     // password edits: the contents are never shown
    bool multiline = false;  // edits
    bool isDefault = false;  // the button that the Enter key presses
    // typingLimit: the most bytes the user can type into an edit; 0 for no
    // limit. Text that the dialog puts there itself may be longer.
    std::size_t typingLimit = 0;
    // List views: the columns, one row of texts per item, and the selection.
    std::vector<ListColumn> columns;
    std::vector<std::vector<std::string>> rows;
    std::optional<std::size_t> selectedRow;
};

// DialogEnd: how a dialog was left, by its "OK" or its "Cancel" end.
enum class DialogEnd {
    kOk = kIdOk,
    kCancel = kIdCancel,
};

// ModalDialog: implemented by each dialog; driven by a PlatformDialogs host.
// The host shows controls(), passes the user's actions on, and runs until
// end() has a value.
class ModalDialog {
public:
    virtual ~ModalDialog() = default;

    // templateId: the dialog's resource id (202, 204, ...).
    virtual int templateId() const = 0;
    virtual std::string_view title() const = 0;
    // controls: every control in layout order (labels before the field they
    // name); valid until the next action.
    virtual std::span<const DialogControl> controls() const = 0;

    // typeText: the user replaces the contents of edit `id` with `text`; what
    // goes past the typing limit is not taken. False, changing nothing, when
    // `id` is not an enabled edit the user can type into.
    virtual bool typeText(int id, std::string_view text) = 0;
    // selectRow: the user selects row `row` of list view `id`, or clears the
    // selection with nullopt. False for an unknown list or row.
    virtual bool selectRow(int id, std::optional<std::size_t> row) = 0;
    // press: the user presses button `id`; the dialog may ask `host` for a
    // chooser or show a message box meanwhile. False, doing nothing, when
    // `id` is not an enabled button.
    virtual bool press(int id, PlatformDialogs& host) = 0;
    // closeWindow: the user closes the window, which counts as "Cancel".
    virtual void closeWindow() = 0;
    // end: how the dialog was left; nullopt while it is open.
    virtual std::optional<DialogEnd> end() const = 0;
};

}  // namespace pennaform::platform
