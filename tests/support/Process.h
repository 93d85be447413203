// Runs a program as a child process for tests that check the command from
// outside: its exit status, standard output and standard error.
#pragma once

#include <map>
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

}  // namespace pennaform::test
