#include "crypto/TextBytes.h"

#include <algorithm>

#include "platform/CodePage.h"

namespace pennaform {

std::vector<std::uint8_t> utf16LeBytes(std::u16string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(2 * text.size());
    for (char16_t unit : text) {
        out.push_back(std::uint8_t(unit & 0xFF));
        out.push_back(std::uint8_t(unit >> 8));
    }
    return out;
}

std::vector<std::uint8_t> ansiBytes(std::u16string_view text) {
    const std::string ansi = toAnsi(text.substr(0, text.find(u'\0')));
    return {ansi.begin(), ansi.end()};
}

std::u16string textFromUtf16Le(std::span<const std::uint8_t> bytes) {
    std::u16string out;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint8_t high = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const char16_t unit = char16_t(bytes[i] | high << 8);
        if (unit == u'\0') break;
        out.push_back(unit);
    }
    return out;
}

std::u16string textFromAnsi(std::span<const std::uint8_t> bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t(0));
    return toWide(std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                   std::size_t(end - bytes.begin())));
}

}  // namespace pennaform
