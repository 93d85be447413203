#include "ui/hosts/posix/TerminalDevice.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

#include "platform/CodePage.h"

namespace pennaform::ui {
namespace {

// A typed line longer than this is cut; the rest of it is read and dropped.
constexpr std::size_t kLongestLine = 4096;

constexpr std::array<int, 4> kEndingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// What the signal handler needs to put the terminal back, set before the
// handler is installed and cleared after it is removed.
volatile std::sig_atomic_t gHiddenFd = -1;
volatile std::sig_atomic_t gInterrupted = 0;
termios gSavedModes;
std::array<struct sigaction, kEndingSignals.size()> gPreviousActions;

std::size_t signalSlot(int signal) {
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
        if (kEndingSignals[i] == signal) return i;
    }
    return 0;
}

// restoreEchoAndResignal: puts the echo back, then hands the signal to
// whatever handled it before (by default: ending the process). Only
// async-signal-safe calls.
void restoreEchoAndResignal(int signal) {
    if (gHiddenFd >= 0) tcsetattr(gHiddenFd, TCSANOW, &gSavedModes);
    gInterrupted = 1;
    sigaction(signal, &gPreviousActions[signalSlot(signal)], nullptr);
    raise(signal);
}

// EchoOff: switches the echo off for its lifetime (the line feed still
// echoes), and restores the terminal's modes and the signal handlers after.
class EchoOff {
public:
    explicit EchoOff(int fd) {
        if (tcgetattr(fd, &gSavedModes) != 0) return;
        gInterrupted = 0;
        gHiddenFd = fd;
        struct sigaction action = {};
        action.sa_handler = restoreEchoAndResignal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            sigaction(kEndingSignals[i], &action, &gPreviousActions[i]);
        }
        termios hidden = gSavedModes;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        hidden.c_lflag |= ECHONL;
        tcsetattr(fd, TCSAFLUSH, &hidden);
        active_ = true;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    ~EchoOff() {
        if (!active_) return;
        tcsetattr(gHiddenFd, TCSANOW, &gSavedModes);
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            sigaction(kEndingSignals[i], &gPreviousActions[i], nullptr);
        }
        gHiddenFd = -1;
    }

private:
    bool active_ = false;
};

}  // namespace

std::string terminalSafe(std::string_view text) {
    bool utf8 = CodePage::process().number() == CodePage::kUtf8;
    std::string safe;
    safe.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        bool lineEnd = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if ((c < 0x20 && c != '\n' && c != '\t' && !lineEnd) || c == 0x7F) {
            safe += '?';
        } else if (utf8 && c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80) {
            safe += '?';  // a C1 control such as CSI
            ++i;
        } else {
            safe += char(c);
        }
    }
    return safe;
}

std::optional<TerminalDevice> TerminalDevice::open() {
    platform::FileDescriptor fd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    return TerminalDevice(std::move(fd));
}

void TerminalDevice::write(std::string_view shown) {
    std::string safe = terminalSafe(shown);
    std::string_view text = safe;
    while (!text.empty()) {
        ssize_t written = ::write(fd_.get(), text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;  // the terminal is gone; nothing more to show
        text.remove_prefix(std::size_t(written));
    }
}

std::optional<std::string> TerminalDevice::readLine(std::string_view prompt) {
    gInterrupted = 0;
    write(prompt);
    return readUntilLineFeed();
}

std::optional<std::string> TerminalDevice::readHiddenLine(std::string_view prompt) {
    EchoOff hidden(fd_.get());
    write(prompt);
    return readUntilLineFeed();
}

std::optional<std::string> TerminalDevice::readUntilLineFeed() {
    std::string line;
    for (;;) {
        char c = 0;
        ssize_t got = ::read(fd_.get(), &c, 1);
        if (got < 0 && errno == EINTR && !gInterrupted) continue;
        if (got <= 0) {
            // End of input ends the line typed so far; with nothing typed,
            // or after an error or a terminating signal, nothing was answered.
            if (got == 0 && !line.empty()) return line;
            return std::nullopt;
        }
        if (c == '\n') break;
        if (line.size() < kLongestLine) line += c;
    }
    if (line.ends_with('\r')) line.pop_back();
    return line;
}

}  // namespace pennaform::ui
