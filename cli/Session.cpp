#include "cli/Session.h"

#include <istream>
#include <limits>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "interface/Dispatcher.h"
#include "platform/CodePage.h"

namespace pennaform::cli {
namespace {

using nlohmann::json;

// Reads one argument of the given type from its JSON value; integers may also
// be given as text in the command's integer syntax, strings may be null.
std::optional<Argument> argumentFrom(const json& value, ValueType type) {
    if (type == ValueType::String) {
        if (value.is_null()) return Argument(std::u16string());
        if (value.is_string()) return Argument(utf8ToUtf16(value.get<std::string>()));
        return std::nullopt;
    }
    if (value.is_number_integer()) {
        if (value.is_number_unsigned()) {
            auto n = value.get<std::uint64_t>();
            if (n > 0xFFFFFFFFull) return std::nullopt;
            return Argument(static_cast<std::int32_t>(std::uint32_t(n)));
        }
        auto n = value.get<std::int64_t>();
        if (n < INT32_MIN || n > INT32_MAX) return std::nullopt;
        return Argument(static_cast<std::int32_t>(n));
    }
    if (value.is_string()) {
        auto n = parseLong(value.get<std::string>());
        if (n) return Argument(*n);
    }
    return std::nullopt;
}

json resultJson(const Result& result) {
    if (const auto* number = std::get_if<std::int32_t>(&result)) return *number;
    const auto& text = std::get<std::optional<std::u16string>>(result);
    return text ? json(utf16ToUtf8(*text)) : json(nullptr);
}

// Arguments are scalars and a request is an object holding an array of them:
// nothing deeper is kept, so that a hostile line cannot make the structure
// deep enough for its copies and destruction to exhaust the stack.
constexpr int kDeepestNesting = 8;

json handleLine(Engine& engine, const std::string& line) {
    bool tooDeep = false;
    auto limitDepth = [&tooDeep](int depth, json::parse_event_t event, json&) {
        bool opens =
            event == json::parse_event_t::object_start || event == json::parse_event_t::array_start;
        if (opens && depth >= kDeepestNesting) tooDeep = true;
        return !tooDeep;
    };
    json request = json::parse(line, limitDepth, /*allow_exceptions=*/false);
    if (tooDeep) {
        return {{"usageError",
                 "a line nests deeper than " + std::to_string(kDeepestNesting) + " levels"}};
    }
    if (!request.is_object() || !request.contains("method") || !request["method"].is_string()) {
        return {{"usageError", "each line must be an object with a \"method\" string"}};
    }
    std::string name = request["method"].get<std::string>();
    const MethodSpec* method = findCallable(name);
    if (method == nullptr) return {{"usageError", "unknown method " + name}};
    static const json kNoArguments = json::array();
    const json& args = request.contains("args") ? request["args"] : kNoArguments;
    if (!args.is_array() || args.size() != method->arguments().size()) {
        return {{"usageError",
                 name + " takes " + std::to_string(method->arguments().size()) + " argument(s)"}};
    }
    std::vector<Argument> arguments;
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto argument = argumentFrom(args[i], method->arguments()[i].type);
        if (!argument) {
            return {{"usageError", "argument " + std::string(method->arguments()[i].name) +
                                       " has the wrong type"}};
        }
        arguments.push_back(std::move(*argument));
    }
    Result result = Dispatcher::call(engine, *method, arguments);
    return {{"result", resultJson(result)},
            {"errorCode", engine.GetErrorCode()},
            {"capiError", static_cast<std::uint32_t>(engine.GetCapiErrorCode())}};
}

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
        json answer;
        if (read == LineRead::kTooLong) {
            answer = {{"usageError",
                       "a line is longer than " + std::to_string(kMaxSessionLine >> 20) + " MiB"}};
        } else if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        } else {
            answer = handleLine(engine, line);
        }
        out << answer.dump(-1, ' ', false, json::error_handler_t::replace) << '\n' << std::flush;
    }
    return 0;
}

}  // namespace pennaform::cli
