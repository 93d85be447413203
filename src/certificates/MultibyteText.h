// Searching, replacing and comparing 8-bit text in the process code page one
// character at a time, so that the second byte of a Big5 character is never
// taken for a backslash, a letter or the start of a match.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace pennaform::signing {

// findText: the position of the first occurrence of `needle` in `text` that
// starts on a character boundary at or after `from`, which must itself be a
// boundary; npos when there is none (an empty needle is found at `from`).
std::size_t findText(std::string_view text, std::string_view needle, std::size_t from,
                     const CodePage& codePage);

// replaceAll: one pass over `text`, left to right, putting `replacement` in
// place of every occurrence of `target` (non-overlapping; the replacement is
// not scanned again). `target` must not be empty.
std::string replaceAll(std::string_view text, std::string_view target, std::string_view replacement,
                       const CodePage& codePage);

// equalsIgnoringCase: whether the two texts are equal when ASCII letters are
// compared without regard to case; two-byte characters must match exactly.
bool equalsIgnoringCase(std::string_view left, std::string_view right, const CodePage& codePage);

// startsWith: whether `text` begins with `prefix` (byte comparison).
inline bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace pennaform::signing
