#include "crypto/TextBytes.h"

#include <algorithm>

#include "platform/CodePage.h"

namespace pennaform {

std::vector<std::uint8_t> ansiBytes(std::u16string_view text) {
    const std::string ansi = toAnsi(text.substr(0, text.find(u'\0')));
    return {ansi.begin(), ansi.end()};
}

std::u16string textFromUtf16Le(std::span<const std::uint8_t> bytes) {
    std::u16string out = utf16LeUnits(bytes);
    if (bytes.size() % 2 != 0) out.push_back(char16_t(bytes.back()));
    return out.substr(0, out.find(u'\0'));
}

std::u16string textFromAnsi(std::span<const std::uint8_t> bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t(0));
    return toWide(std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                   std::size_t(end - bytes.begin())));
}

}  // namespace pennaform
