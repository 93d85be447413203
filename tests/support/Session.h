// Drives `pennaform session` for tests that make many calls: one process,
// one JSON line in and out per call.
#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

#include "support/Process.h"

namespace pennaform::test {

// runSession: the answers to `calls` ({"method":..., "args":[...]} each), in
// order; a test failure and fewer answers when the session misbehaves.
inline std::vector<nlohmann::json> runSession(const std::vector<nlohmann::json>& calls,
                                              const std::map<std::string, std::string>& env = {}) {
    std::string input;
    for (const auto& call : calls) input += call.dump() + "\n";
    ProcessResult r = runCommand({"session"}, env, input);
    std::vector<nlohmann::json> answers;
    if (r.exitStatus != 0) return answers;
    std::size_t start = 0;
    for (std::size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
        answers.push_back(nlohmann::json::parse(r.out.substr(start, end - start)));
    }
    return answers;
}

}  // namespace pennaform::test
