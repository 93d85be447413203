// The values that cross the doors: integers and UTF-16 strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace pennaform {

enum class ValueType { Long, String };

// Argument: an integer or a string argument (a null string arrives as empty).
using Argument = std::variant<std::int32_t, std::u16string>;

// Result: an integer, or a string that may be null (std::nullopt).
using Result = std::variant<std::int32_t, std::optional<std::u16string>>;

// emptyResult: what a failed operation of the given result type returns.
inline Result emptyResult(ValueType type) {
    if (type == ValueType::Long) return Result(std::int32_t{0});
    return Result(std::optional<std::u16string>());
}

}  // namespace pennaform
