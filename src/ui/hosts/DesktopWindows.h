// DesktopWindows: the windows of the desktop host module, as the component
// sees them. The module (src/ui/hosts/gtk/, libpennaform_gtk.so) links GTK and
// nothing of the component: it is loaded only when asked for, so that the
// library and the command never depend on a windowing system. Everything it
// needs of the component comes through these interfaces; texts cross them in
// the process code page, and the module converts them with the TextConverter
// the loader hands it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ModalDialog.h"
#include "platform/PlatformDialogs.h"
#include "ui/hosts/ScriptedAnswers.h"

namespace pennaform::ui {

// TextConverter: between the process code page and the UTF-8 of the windows.
class TextConverter {
public:
    virtual ~TextConverter() = default;
    virtual std::string toUtf8(std::string_view text) const = 0;
    virtual std::string fromUtf8(std::string_view text) const = 0;
};

// ScriptStage: where a script's actions land when they are not passed to the
// model itself: on the widgets of a window showing the dialog, as a user's
// typing and clicks would.
class ScriptStage {
public:
    virtual ~ScriptStage() = default;
    // open: shows `dialog` without waiting; its buttons pass `host` on to it.
    virtual void open(platform::ModalDialog& dialog, platform::PlatformDialogs& host) = 0;
    // perform: one action on the widgets; false when the window or the dialog
    // refused it (a disabled field or button, an unknown id or row).
    virtual bool perform(const ScriptAction& action) = 0;
    // close: takes the window of the dialog opened last away.
    virtual void close() = 0;
    // showMessage: shows a message box and dismisses it as a user would.
    virtual void showMessage(std::string_view caption, std::string_view text) = 0;
    // answerFileChooser, answerFolderChooser: open the chooser, pick `path`
    // in it (cancel it when nullopt) and give back what the chooser answered:
    // nullopt when it was cancelled or would not take the path.
    virtual std::optional<std::string> answerFileChooser(
        const platform::FileChooserRequest& request, const std::optional<std::string>& path) = 0;
    virtual std::optional<std::string> answerFolderChooser(
        std::string_view title, const std::optional<std::string>& path) = 0;
    // dismissText: shows a window of read-only text and closes it by its button.
    virtual void dismissText(std::string_view title, std::string_view text) = 0;
    // answerYesNo: asks the question and presses the button of `yes`; the
    // answer the window gave.
    virtual bool answerYesNo(std::string_view title, std::string_view question, bool yes) = 0;
};

// DesktopWindows: the module's windows. Every call but the stage's is modal.
class DesktopWindows : public ScriptStage {
public:
    // runDialog: `dialog` as a modal window until it ends.
    virtual platform::DialogEnd runDialog(platform::ModalDialog& dialog,
                                          platform::PlatformDialogs& host) = 0;
    // askMessage: a modal message box with its caption and one OK button.
    virtual void askMessage(std::string_view caption, std::string_view text) = 0;
    // chooseFile, chooseFolder: the chooser's path, nullopt when cancelled.
    virtual std::optional<std::string> chooseFile(const platform::FileChooserRequest& request) = 0;
    virtual std::optional<std::string> chooseFolder(std::string_view title) = 0;
    // showText: a window of read-only text (the certificate's fields).
    virtual void showText(std::string_view title, std::string_view text) = 0;
    // askYesNo: true when the user answers yes.
    virtual bool askYesNo(std::string_view title, std::string_view question) = 0;
};

// The module's one entry point, by this name: its windows, or null when no
// display can be opened. The object lives until deleted; the module stays
// loaded for the rest of the process (GTK cannot be unloaded).
inline constexpr const char* kOpenDesktopWindowsSymbol = "pennaform_open_desktop_windows";
using OpenDesktopWindows = DesktopWindows* (*)(const TextConverter* text);

}  // namespace pennaform::ui
