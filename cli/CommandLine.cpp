#include "cli/CommandLine.h"

#include <istream>
#include <string_view>

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

namespace {

// isDashesOnly: whether `word` is two or more '-' and nothing else: the
// escaped form of one '-' fewer.
bool isDashesOnly(std::string_view word) {
    return word.size() >= 2 && word.find_first_not_of('-') == std::string_view::npos;
}

// stringArgument: the text a string word stands for: "-" a line of `input`
// (its line end removed), a word of dashes only itself less one dash, any
// other word itself. Nothing when `input` has no line left.
std::optional<std::string> stringArgument(const std::string& word, std::istream& input) {
    if (word == "-") {
        std::string line;
        if (!std::getline(input, line)) return std::nullopt;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    if (isDashesOnly(word)) return word.substr(1);
    return word;
}

}  // namespace

std::optional<UsageError> toArguments(const MethodSpec& method,
                                      const std::vector<std::string>& words, std::istream& input,
                                      std::vector<Argument>& out) {
    auto expected = method.arguments();
    if (words.size() != expected.size()) {
        return UsageError{std::string(method.name) + " takes " + std::to_string(expected.size()) +
                          " argument(s), " + std::to_string(words.size()) + " given"};
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (expected[i].type == ValueType::String) {
            std::optional<std::string> text = stringArgument(words[i], input);
            if (!text) {
                return UsageError{std::string(expected[i].name) +
                                  " is \"-\" but standard input has no line left for it"};
            }
            out.emplace_back(utf8ToUtf16(*text));
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
