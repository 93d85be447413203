// Fuzz target: the command's JSON-lines session. The input is a run of lines
// given to one Engine serving an untrusted caller (so the operations that
// reach the user's files, keys and registry refuse before doing anything);
// every line that is not blank must be answered by exactly one JSON object.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli/Session.h"
#include "engine/Engine.h"

using namespace pennaform;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// ProtectedEngine: one Engine in a state folder of its own, for the whole run.
class ProtectedEngine {
public:
    ProtectedEngine() {
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string pattern = (base / "pennaform-fuzz-XXXXXX").string();
        require(mkdtemp(pattern.data()) != nullptr);
        folder_ = pattern;
        engine_ = std::make_unique<Engine>(EngineConfig{folder_ + "/home", true});
    }
    ~ProtectedEngine() {
        engine_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    Engine& engine() { return *engine_; }

private:
    std::string folder_;
    std::unique_ptr<Engine> engine_;
};

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
    static ProtectedEngine engine;
    std::string input(reinterpret_cast<const char*>(data), size);
    std::istringstream in(input);
    std::ostringstream out;
    cli::runSession(engine.engine(), in, out);

    std::size_t answers = 0;
    std::istringstream replies(out.str());
    for (std::string reply; std::getline(replies, reply); ++answers) {
        require(nlohmann::json::parse(reply, nullptr, false).is_object());
    }
    require(answers == answeredLines(input));
    return 0;
}
