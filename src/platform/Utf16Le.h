// UTF-16LE: UTF-16 code units as little-endian bytes (the registry's strings,
// the certificate properties, the text the digests and ciphers work on), and
// back.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pennaform {

// utf16LeBytes: every code unit of the text, U+0000 included, low byte first;
// no terminator, no byte-order mark.
inline std::vector<std::uint8_t> utf16LeBytes(std::u16string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(2 * text.size());
    for (char16_t unit : text) {
        out.push_back(std::uint8_t(unit & 0xFF));
        out.push_back(std::uint8_t(unit >> 8));
    }
    return out;
}

// utf16LeUnits: the whole code units of the bytes, low byte first, U+0000
// included; an odd last byte is no whole unit and is left out.
inline std::u16string utf16LeUnits(std::span<const std::uint8_t> bytes) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out.push_back(char16_t(bytes[i] | (bytes[i + 1] << 8)));
    }
    return out;
}

}  // namespace pennaform
