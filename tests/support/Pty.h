// Runs a program on a new pseudo-terminal, which becomes its controlling
// terminal, and lets a test type into it and read what it writes, the way a
// user at a terminal would.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pennaform::test {

class PtyProcess {
public:
    // start: runs argv[0] (a path) with argv on a new terminal; nullopt when
    // no terminal or process can be made.
    static std::optional<PtyProcess> start(const std::vector<std::string>& argv);
    PtyProcess(PtyProcess&& other) noexcept;
    PtyProcess& operator=(PtyProcess&&) = delete;
    PtyProcess(const PtyProcess&) = delete;
    ~PtyProcess();

    // expect: reads until `text` appears in what the program wrote after the
    // previous match; false when the program's output ends first.
    bool expect(std::string_view text);
    // type: sends `text` as if typed (a line feed ends a line, "\x04" is Ctrl-D).
    void type(std::string_view text);
    // echoing: whether the terminal echoes what is typed now.
    bool echoing() const;
    void signal(int number) const;
    // finish: reads the rest of the output and waits for the program; its
    // exit code, or 128 + the signal that ended it.
    int finish();
    // output: everything the program wrote so far (with the echo of what
    // was typed).
    const std::string& output() const { return output_; }

private:
    PtyProcess(int master, pid_t pid) : master_(master), pid_(pid) {}
    bool readMore();

    int master_ = -1;
    pid_t pid_ = -1;
    std::string output_;
    std::size_t matched_ = 0;
};

}  // namespace pennaform::test
