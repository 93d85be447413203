// TerminalDevice: the process's controlling terminal, opened for one
// exchange with the user: writing text and reading typed lines, hidden or
// not. Text is passed through unchanged (the terminal's codeset is the one
// the locale names, which is the process code page).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/FileDescriptor.h"

namespace pennaform::ui {

// terminalSafe: `text` with the characters that would drive the terminal
// instead of showing (escape sequences and other controls, from certificate
// names or file names) replaced by '?'. Line feeds and tabs stay; a carriage
// return stays only before a line feed.
std::string terminalSafe(std::string_view text);

class TerminalDevice {
public:
    // open: the controlling terminal, or nullopt when the process has none
    // (a daemon, a CI job): nothing can be asked then.
    static std::optional<TerminalDevice> open();

    // write: shows `text`, made terminalSafe.
    void write(std::string_view text);
    // readLine: writes `prompt`, then reads one line (without its line
    // feed); nullopt when the input has ended (Ctrl-D on an empty line, the
    // terminal hung up) or the read was interrupted by a signal that ends
    // the process.
    std::optional<std::string> readLine(std::string_view prompt);
    // readHiddenLine: as readLine with the echo switched off before the
    // prompt is written, so nothing typed shows. The echo comes back on every
    // path out, including a terminating signal (SIGINT, SIGTERM, SIGHUP,
    // SIGQUIT) that arrives while the line is read.
    std::optional<std::string> readHiddenLine(std::string_view prompt);

private:
    explicit TerminalDevice(platform::FileDescriptor fd) : fd_(std::move(fd)) {}
    std::optional<std::string> readUntilLineFeed();

    platform::FileDescriptor fd_;
};

}  // namespace pennaform::ui
