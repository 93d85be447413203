// PasswordRange: the minimum and maximum password length a dialog works
// with, and the two acceptance rules of its password fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pennaform::ui {

class PasswordRange {
public:
    // The range of a dialog that is given none.
    PasswordRange() = default;

    // normalised: the range a dialog uses for the given bounds: swapped when
    // the minimum exceeds the maximum, then a minimum of 0 or less becomes 0
    // and a maximum of 0 or less becomes 16.
    static PasswordRange normalised(std::int32_t minimum, std::int32_t maximum);

    std::int32_t minimum() const { return minimum_; }
    std::int32_t maximum() const { return maximum_; }

    // Lengths are counted in bytes of the process code page.
    // acceptsAnyLength: rule A: at least the minimum (so with minimum 0 an
    // empty password is acceptable).
    bool acceptsAnyLength(std::size_t length) const;
    // acceptsNonEmpty: rule B: at least the minimum and at least 1.
    bool acceptsNonEmpty(std::size_t length) const;
    // locksSuppliedPassword: whether a password handed in by the caller is
    // final, so its field is disabled: not empty and at least the minimum.
    bool locksSuppliedPassword(std::size_t length) const;

    // ruleLabel: "請設定憑證密碼(英文或數字%d～%d碼)" with the minimum (1 when it
    // is 0) and the maximum, in the process code page.
    std::string ruleLabel() const;

private:
    PasswordRange(std::int32_t minimum, std::int32_t maximum)
        : minimum_(minimum), maximum_(maximum) {}

    std::int32_t minimum_ = 0;
    std::int32_t maximum_ = 16;
};

}  // namespace pennaform::ui
