// The programs the demo runs beside the command: the test CA, the command
// itself in a second process, and the openssl tool.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "cli/demo/DemoAreas.h"

extern char** environ;

namespace pennaform::cli {

std::string siblingProgram(const std::string& relative, const std::string& fallback) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return fallback;
    const std::filesystem::path built = self.parent_path().parent_path() / relative;
    return std::filesystem::exists(built, error) ? built.string() : fallback;
}

std::string testCaProgram() {
    if (const char* chosen = std::getenv("PENNAFORM_TESTCA");
        chosen != nullptr && *chosen != '\0') {
        return chosen;
    }
    return siblingProgram("tests/toolkit/testca/pennaform-testca", "pennaform-testca");
}

bool runProgram(std::vector<std::string> argv, const std::string& input,
                const std::string& output) {
    std::vector<char*> pointers;
    for (std::string& word : argv) pointers.push_back(word.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return false;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = -1;
    const int spawned =
        posix_spawnp(&child, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool runTestCa(const std::vector<std::string>& words) {
    std::vector<std::string> argv{testCaProgram()};
    argv.insert(argv.end(), words.begin(), words.end());
    return runProgram(argv);
}

}  // namespace pennaform::cli
