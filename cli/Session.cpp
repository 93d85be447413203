#include "cli/Session.h"

#include <istream>
#include <limits>
#include <ostream>
#include <string>

#include "bridge/JsonCalls.h"

namespace pennaform::cli {
namespace {

enum class LineRead { kLine, kTooLong, kEnd };

// readLine: the next line of `in` (without its '\n') into `line`. A line
// longer than kMaxSessionLine is read no further than that: the rest of it is
// skipped without being kept, and kTooLong given.
LineRead readLine(std::istream& in, std::string& line) {
    line.clear();
    std::streambuf& buffer = *in.rdbuf();
    for (bool readAny = false;; readAny = true) {
        const int c = buffer.sbumpc();
        if (c == std::char_traits<char>::eof()) return readAny ? LineRead::kLine : LineRead::kEnd;
        if (c == '\n') return LineRead::kLine;
        if (line.size() == kMaxSessionLine) {
            line.clear();
            line.shrink_to_fit();
            in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
            return LineRead::kTooLong;
        }
        line.push_back(char(c));
    }
}

}  // namespace

int runSession(Engine& engine, std::istream& in, std::ostream& out) {
    std::string line;
    for (LineRead read; (read = readLine(in, line)) != LineRead::kEnd;) {
        if (read == LineRead::kTooLong) {
            out << "{\"usageError\":\"a line is longer than " << (kMaxSessionLine >> 20)
                << " MiB\"}\n"
                << std::flush;
            continue;
        }
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        out << bridge::answerJsonCall(engine, line) << '\n' << std::flush;
    }
    return 0;
}

}  // namespace pennaform::cli
