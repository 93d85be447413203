// ASCII case folding: only the letters A-Z and a-z change; every other unit
// (digits, punctuation, bytes 0x80-0xFF, lead and trail bytes of a
// double-byte character, any UTF-16 unit above 0x7F) is left as it is, whatever
// the locale.
#pragma once

#include <string>
#include <string_view>

namespace pennaform {

// asciiLower, asciiUpper: the unit with an ASCII letter's case changed.
template <typename Unit>
constexpr Unit asciiLower(Unit c) {
    return c >= Unit('A') && c <= Unit('Z') ? Unit(c - Unit('A') + Unit('a')) : c;
}
template <typename Unit>
constexpr Unit asciiUpper(Unit c) {
    return c >= Unit('a') && c <= Unit('z') ? Unit(c - Unit('a') + Unit('A')) : c;
}

// asciiLowered, asciiUppered: a copy of the text with every ASCII letter
// lowered or raised.
inline std::string asciiLowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiLower(c);
    return out;
}
inline std::string asciiUppered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiUpper(c);
    return out;
}

// equalIgnoringAsciiCase: whether the texts are equal once ASCII letters are
// folded; no other unit is compared loosely.
inline bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    }
    return true;
}

}  // namespace pennaform
