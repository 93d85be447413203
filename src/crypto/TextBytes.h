// TextBytes: how the operations that hash, encrypt or sign a caller's text
// turn it into bytes, and turn decrypted bytes back into text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Utf16Le.h"  // utf16LeBytes: the UTF-16LE form of a text

namespace pennaform {

// ansiBytes: the text up to its first U+0000 in the process code page,
// without a terminator.
std::vector<std::uint8_t> ansiBytes(std::u16string_view text);

// callerTextBytes: the bytes an operation digests or encrypts for a caller's
// text: ansiBytes when `flags` carries the operation's `ansiTextFlag`, else
// every UTF-16LE code unit (U+0000 included).
inline std::vector<std::uint8_t> callerTextBytes(std::u16string_view text, std::int32_t flags,
                                                 std::int32_t ansiTextFlag) {
    return (flags & ansiTextFlag) != 0 ? ansiBytes(text) : utf16LeBytes(text);
}

// textFromUtf16Le: bytes read as UTF-16LE code units up to the first U+0000
// or the end. An odd last byte counts as a code unit whose high byte is zero.
std::u16string textFromUtf16Le(std::span<const std::uint8_t> bytes);

// textFromAnsi: bytes read as process code page text up to the first zero
// byte, as UTF-16.
std::u16string textFromAnsi(std::span<const std::uint8_t> bytes);

}  // namespace pennaform
