#include "cli/Session.h"

#include <istream>
#include <ostream>
#include <string>

#include "bridge/JsonCalls.h"

namespace pennaform::cli {

int runSession(Engine& engine, std::istream& in, std::ostream& out) {
    std::string line;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        out << bridge::answerJsonCall(engine, line) << '\n' << std::flush;
    }
    return 0;
}

}  // namespace pennaform::cli
