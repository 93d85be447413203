#include "support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace pennaform::test {
namespace {

class Pipe {
public:
    Pipe() {
        if (pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeRead() { closeFd(fds_[0]); }
    void closeWrite() { closeFd(fds_[1]); }

private:
    static void closeFd(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    int fds_[2];
};

std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        if (changes.count(name) == 0) env.push_back(entry);
    }
    for (const auto& [name, value] : changes) {
        if (!value.empty()) env.push_back(name + "=" + value);
    }
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& environment,
                         const std::string& input) {
    ProcessResult result;
    signal(SIGPIPE, SIG_IGN);  // a child that exits early must not kill the test
    Pipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.readEnd(), 0);
    posix_spawn_file_actions_adddup2(&actions, out.writeEnd(), 1);
    posix_spawn_file_actions_adddup2(&actions, err.writeEnd(), 2);
    std::vector<std::string> args = argv;
    std::vector<std::string> env = childEnvironment(environment);
    auto argp = pointers(args);
    auto envp = pointers(env);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        result.err = std::string("spawn failed: ") + std::strerror(rc);
        return result;
    }
    in.closeRead();
    out.closeWrite();
    err.closeWrite();

    std::size_t written = 0;
    if (input.empty()) in.closeWrite();
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[3] = {
            {out.readEnd(), POLLIN, 0}, {err.readEnd(), POLLIN, 0}, {in.writeEnd(), POLLOUT, 0}};
        nfds_t count = in.writeEnd() >= 0 ? 3 : 2;
        if (poll(fds, count, -1) < 0 && errno != EINTR) break;
        char buffer[65536];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, std::size_t(n));
            } else {
                (i == 0 ? out : err).closeRead();
                (i == 0 ? outOpen : errOpen) = false;
            }
        }
        if (count == 3 && fds[2].revents != 0) {
            ssize_t n = write(in.writeEnd(), input.data() + written, input.size() - written);
            if (n > 0) written += std::size_t(n);
            if (n <= 0 || written == input.size()) in.closeWrite();
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::unique_ptr<RunningProcess> RunningProcess::start(
    const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment) {
    signal(SIGPIPE, SIG_IGN);
    Pipe in, out;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.readEnd(), 0);
    posix_spawn_file_actions_adddup2(&actions, out.writeEnd(), 1);
    std::vector<std::string> args = argv;
    std::vector<std::string> env = childEnvironment(environment);
    auto argp = pointers(args);
    auto envp = pointers(env);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return nullptr;
    // Keep our ends; the Pipe objects close every other descriptor.
    int input = fcntl(in.writeEnd(), F_DUPFD_CLOEXEC, 0);
    int output = fcntl(out.readEnd(), F_DUPFD_CLOEXEC, 0);
    return std::unique_ptr<RunningProcess>(new RunningProcess(pid, input, output));
}

RunningProcess::~RunningProcess() {
    if (!reaped_) {
        kill(SIGKILL);
        wait();
    }
    closeInput();
    if (output_ >= 0) close(output_);
}

bool RunningProcess::writeAll(const std::string& text) {
    std::size_t written = 0;
    while (input_ >= 0 && written < text.size()) {
        ssize_t n = write(input_, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += std::size_t(n);
    }
    return input_ >= 0;
}

void RunningProcess::closeInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

std::optional<std::string> RunningProcess::readLine() {
    return readLine(std::chrono::milliseconds(-1));
}

std::optional<std::string> RunningProcess::readLine(std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const bool forever = timeout.count() < 0;
    const Clock::time_point deadline = Clock::now() + (forever ? Clock::duration() : timeout);
    for (;;) {
        std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        int wait = -1;
        if (!forever) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return std::nullopt;
            wait = int(left.count());
        }
        pollfd ready{output_, POLLIN, 0};
        int polled = poll(&ready, 1, wait);
        if (polled < 0 && errno == EINTR) continue;
        if (polled == 0) return std::nullopt;
        char buffer[4096];
        ssize_t n = read(output_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        pending_.append(buffer, std::size_t(n));
    }
}

void RunningProcess::kill(int signalNumber) {
    if (!reaped_) ::kill(pid_, signalNumber);
}

int RunningProcess::wait() {
    int status = 0;
    if (!reaped_) {
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return exitStatus_;
}

int RunningProcess::waitFor(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!reaped_) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if (done < 0 && errno != EINTR) {
            break;
        } else if (std::chrono::steady_clock::now() >= deadline) {
            kill(SIGKILL);
            return wait();
        } else {
            usleep(10000);
        }
    }
    return exitStatus_;
}

std::string commandPath() {
    const char* path = std::getenv("PENNAFORM_CLI");
    return path != nullptr ? path : "pennaform";
}

ProcessResult runCommand(const std::vector<std::string>& words,
                         const std::map<std::string, std::string>& environment,
                         const std::string& input) {
    std::vector<std::string> argv{commandPath()};
    argv.insert(argv.end(), words.begin(), words.end());
    return runProcess(argv, environment, input);
}

}  // namespace pennaform::test
