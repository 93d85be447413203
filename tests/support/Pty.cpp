#include "support/Pty.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>

namespace pennaform::test {

std::optional<PtyProcess> PtyProcess::start(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        execv(args[0], args.data());
        _exit(127);
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    return PtyProcess(master, pid);
}

PtyProcess::PtyProcess(PtyProcess&& other) noexcept
    : master_(std::exchange(other.master_, -1)),
      pid_(std::exchange(other.pid_, -1)),
      output_(std::move(other.output_)),
      matched_(other.matched_) {}

PtyProcess::~PtyProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
}

bool PtyProcess::readMore() {
    char buffer[4096];
    for (;;) {
        ssize_t got = read(master_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;  // EIO once the program has closed the terminal
        output_.append(buffer, std::size_t(got));
        return true;
    }
}

bool PtyProcess::expect(std::string_view text) {
    for (;;) {
        std::size_t at = output_.find(text, matched_);
        if (at != std::string::npos) {
            matched_ = at + text.size();
            return true;
        }
        if (!readMore()) return false;
    }
}

void PtyProcess::type(std::string_view text) {
    while (!text.empty()) {
        ssize_t written = write(master_, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text.remove_prefix(std::size_t(written));
    }
}

bool PtyProcess::echoing() const {
    // The terminal's modes are those of its program side.
    int terminal = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios modes{};
    bool echo = terminal >= 0 && tcgetattr(terminal, &modes) == 0 && (modes.c_lflag & ECHO) != 0;
    if (terminal >= 0) close(terminal);
    return echo;
}

void PtyProcess::signal(int number) const {
    kill(pid_, number);
}

int PtyProcess::finish() {
    while (readMore()) {
    }
    int status = 0;
    pid_t waited = waitpid(pid_, &status, 0);
    pid_ = -1;
    if (waited < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace pennaform::test
