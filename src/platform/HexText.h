// Hexadecimal text of bytes: two upper-case digits per byte, the most
// significant first (digests, serial numbers, thumbprints, hardware
// addresses, names' non-text values).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pennaform {

// upperHexDigit: the digit of a value 0-15.
constexpr char upperHexDigit(unsigned value) {
    return "0123456789ABCDEF"[value & 0x0F];
}

// appendUpperHex: appends the bytes' digits to `out` (a std::string or a
// std::u16string), with `separator` between two bytes when it is not zero.
template <typename String>
void appendUpperHex(String& out, std::span<const std::uint8_t> bytes,
                    typename String::value_type separator = 0) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && separator != 0) out.push_back(separator);
        out.push_back(typename String::value_type(upperHexDigit(bytes[i] >> 4)));
        out.push_back(typename String::value_type(upperHexDigit(bytes[i])));
    }
}

// upperHex: the bytes' digits, with no separator.
inline std::string upperHex(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(2 * bytes.size());
    appendUpperHex(out, bytes);
    return out;
}

}  // namespace pennaform
