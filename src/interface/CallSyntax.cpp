#include "interface/CallSyntax.h"

#include <charconv>

#include "interface/Dispatcher.h"

namespace pennaform {

const MethodSpec* findCallable(std::string_view name) {
    if (!name.empty() && name.front() == '_') return Dispatcher::findExport(name);
    return Dispatcher::findMethod(name);
}

std::optional<std::int32_t> parseLong(std::string_view text) {
    bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (negative ? magnitude > 0x80000000ull : magnitude > 0xFFFFFFFFull) return std::nullopt;
    std::uint32_t pattern =
        negative ? std::uint32_t(0u - std::uint32_t(magnitude)) : std::uint32_t(magnitude);
    return static_cast<std::int32_t>(pattern);
}

}  // namespace pennaform
