// The words a caller names a call with, shared by every text door (the
// command, its session, the loopback bridge): method names and integers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "interface/MethodTable.h"

namespace pennaform {

// findCallable: a method by interface name or decorated export name.
const MethodSpec* findCallable(std::string_view name);

// parseLong: decimal (optionally negative) or 0x-hexadecimal; any value from
// -2147483648 to 4294967295, the upper half read as its 32-bit pattern.
std::optional<std::int32_t> parseLong(std::string_view text);

}  // namespace pennaform
