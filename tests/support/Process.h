// Runs a program as a child process for tests that check the command from
// outside: its exit status, standard output and standard error.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pennaform::test {

struct ProcessResult {
    int exitStatus = -1;  // the exit code, or 128 + signal number
    std::string out;
    std::string err;
};

// runProcess: runs argv[0] (searched in PATH when it has no '/') with the
// current environment changed by `environment` (an empty value unsets the
// variable) and `input` on its standard input.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& environment = {},
                         const std::string& input = {});

// commandPath: the pennaform command under test (PENNAFORM_CLI).
std::string commandPath();

// runCommand: the pennaform command with the given words.
ProcessResult runCommand(const std::vector<std::string>& words,
                         const std::map<std::string, std::string>& environment = {},
                         const std::string& input = {});

// RunningProcess: a child that the test talks to line by line while it runs,
// and may kill at a chosen moment. The destructor kills and reaps a child
// still running.
class RunningProcess {
public:
    // start: runs argv as runProcess does; null when it cannot be started.
    static std::unique_ptr<RunningProcess> start(
        const std::vector<std::string>& argv,
        const std::map<std::string, std::string>& environment = {});
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;
    ~RunningProcess();

    // writeAll: sends text to the child's standard input; false when the
    // child no longer reads.
    bool writeAll(const std::string& text);
    // closeInput: ends the child's standard input.
    void closeInput();
    // readLine: the next line of the child's standard output, without its
    // line feed; nullopt at the end of the output.
    std::optional<std::string> readLine();
    // readLine: the same, waiting at most `timeout` for the line; nullopt
    // also when the time runs out (the line, if it comes, is read next).
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    pid_t pid() const { return pid_; }
    // kill: sends the signal.
    void kill(int signal);
    // wait: reaps the child; its exit code, or 128 + the signal that ended it.
    int wait();
    // waitFor: reaps the child if it ends within `timeout`, else kills it
    // (SIGKILL) and reaps it; its exit code, or 128 + the signal.
    int waitFor(std::chrono::milliseconds timeout);

private:
    RunningProcess(pid_t pid, int input, int output) : pid_(pid), input_(input), output_(output) {}

    pid_t pid_;
    int input_;
    int output_;
    std::string pending_;  // output read but not yet returned
    bool reaped_ = false;
    int exitStatus_ = -1;
};

}  // namespace pennaform::test
