// C++ helpers around the BSTR strings of the flat interface.
#pragma once

#include <optional>
#include <string>

#include "pennaform/pennaform.h"

namespace pennaform {

// copyArgument: the text of a caller's string argument up to its first NUL,
// copied; a null pointer reads as the empty string.
std::u16string copyArgument(const OLECHAR* text);

// toBstr: a new BSTR for a string result (null for a null result); the caller
// of the export owns it.
BSTR toBstr(const std::optional<std::u16string>& text);

}  // namespace pennaform
