#include "cli/CommandLine.h"

#include <charconv>
#include <string_view>

#include "interface/Dispatcher.h"
#include "platform/CodePage.h"

namespace pennaform::cli {

std::optional<UsageError> parseCommandLine(int argc, char** argv, CommandLine& out) {
    int i = 1;
    auto nextValue = [&]() -> std::optional<std::string> {
        if (i + 1 >= argc) return std::nullopt;
        return std::string(argv[++i]);
    };
    for (; i < argc; ++i) {
        std::string_view word = argv[i];
        if (word.size() < 2 || word.substr(0, 2) != "--") break;
        if (word == "--help" || word == "--version") break;  // they act as subcommands
        if (word == "--home") {
            auto dir = nextValue();
            if (!dir || dir->empty()) return UsageError{"--home needs a folder"};
            out.engineConfig.homeOverride = *dir;
        } else if (word == "--protected-mode") {
            out.engineConfig.untrustedCaller = true;
        } else if (word == "--dialogs") {
            auto host = nextValue();
            if (!host) return UsageError{"--dialogs needs headless, terminal, scripted or gtk"};
            out.dialogs = *host;
        } else if (word == "--answers" || word == "--transcript") {
            auto file = nextValue();
            if (!file || file->empty()) return UsageError{std::string(word) + " needs a file"};
            (word == "--answers" ? out.answersPath : out.transcriptPath) = *file;
        } else {
            return UsageError{"unknown option " + std::string(word)};
        }
    }
    for (; i < argc; ++i) out.words.emplace_back(argv[i]);
    if (out.words.empty()) return UsageError{"no method given"};
    return std::nullopt;
}

std::optional<UsageError> toArguments(const MethodSpec& method,
                                      const std::vector<std::string>& words,
                                      std::vector<Argument>& out) {
    auto expected = method.arguments();
    if (words.size() != expected.size()) {
        return UsageError{std::string(method.name) + " takes " + std::to_string(expected.size()) +
                          " argument(s), " + std::to_string(words.size()) + " given"};
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (expected[i].type == ValueType::String) {
            out.emplace_back(utf8ToUtf16(words[i]));
            continue;
        }
        std::optional<std::int32_t> number = parseLong(words[i]);
        if (!number) {
            return UsageError{std::string(expected[i].name) +
                              " must be a 32-bit integer: " + words[i]};
        }
        out.emplace_back(*number);
    }
    return std::nullopt;
}

std::string resultText(const Result& result) {
    if (const auto* number = std::get_if<std::int32_t>(&result)) return std::to_string(*number);
    const auto& text = std::get<std::optional<std::u16string>>(result);
    return text ? utf16ToUtf8(*text) : std::string();
}

}  // namespace pennaform::cli
