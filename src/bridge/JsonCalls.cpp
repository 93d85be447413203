#include "bridge/JsonCalls.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "interface/CallSyntax.h"
#include "interface/Dispatcher.h"
#include "platform/CodePage.h"

namespace pennaform::bridge {
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
// nothing deeper is kept, so that a hostile text cannot make the structure
// deep enough for its copies and destruction to exhaust the stack.
constexpr int kDeepestNesting = 8;

json answerRequest(Engine& engine, const json& request) {
    if (!request.is_object() || !request.contains("method") || !request["method"].is_string()) {
        return {{"usageError", "each call must be an object with a \"method\" string"}};
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

}  // namespace

std::string answerJsonCall(Engine& engine, std::string_view text) {
    bool tooDeep = false;
    auto limitDepth = [&tooDeep](int depth, json::parse_event_t event, json&) {
        bool opens =
            event == json::parse_event_t::object_start || event == json::parse_event_t::array_start;
        if (opens && depth >= kDeepestNesting) tooDeep = true;
        return !tooDeep;
    };
    json request = json::parse(text, limitDepth, /*allow_exceptions=*/false);
    json answer;
    if (tooDeep) {
        answer = {{"usageError",
                   "a call nests deeper than " + std::to_string(kDeepestNesting) + " levels"}};
    } else {
        answer = answerRequest(engine, request);
    }
    if (request.is_object() && request.contains("id")) {
        const json& id = request["id"];
        if (id.is_number() || id.is_string() || id.is_null()) answer["id"] = id;
    }
    return answer.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace pennaform::bridge
