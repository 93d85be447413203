// Fuzz target: the command's JSON-lines session. The input is a run of lines
// given to one Engine serving an untrusted caller (so the operations that
// reach the user's files, keys and registry refuse before doing anything);
// every line that is not blank must be answered by exactly one JSON object.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "FuzzHome.h"
#include "cli/Session.h"
#include "engine/Engine.h"

using namespace pennaform;
using fuzz::FuzzHome;
using fuzz::require;

namespace {

std::size_t answeredLines(const std::string& input) {
    std::size_t count = 0;
    std::istringstream lines(input);
    for (std::string line; std::getline(lines, line);) {
        if (line.find_first_not_of(" \t\r") != std::string::npos) ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzHome home(/*untrustedCaller=*/true);
    std::string input(reinterpret_cast<const char*>(data), size);
    std::istringstream in(input);
    std::ostringstream out;
    cli::runSession(home.engine(), in, out);

    std::size_t answers = 0;
    std::istringstream replies(out.str());
    for (std::string reply; std::getline(replies, reply); ++answers) {
        require(nlohmann::json::parse(reply, nullptr, false).is_object());
    }
    require(answers == answeredLines(input));
    return 0;
}
