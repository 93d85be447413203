// Outcome: the value-or-error result of every platform call that can fail.
// Errors are values here: nothing in the platform layer throws.
#pragma once

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

#include "platform/PlatformError.h"

namespace pennaform::platform {

// Failure: the error half of an Outcome. It converts to an Outcome of any
// value type, so `return fail(errors::kNteBadKey);` works in every function.
// A failure always carries a non-zero number: 0 would read as success to a
// caller that copies it into its own error field, so it becomes NTE_FAIL.
class [[nodiscard]] Failure {
public:
    constexpr explicit Failure(PlatformError code) noexcept
        : code_(code != errors::kSuccess ? code : errors::kNteFail) {}
    constexpr PlatformError code() const noexcept { return code_; }

private:
    PlatformError code_;
};

// fail: a Failure carrying `code` (NTE_FAIL for 0).
constexpr Failure fail(PlatformError code) noexcept {
    return Failure(code);
}

// Outcome<T>: either a T (success) or a platform error number (failure).
// value() and operator* may be used only when ok(); error() is 0 on success.
template <typename T>
class [[nodiscard]] Outcome {
    static_assert(!std::is_reference_v<T>, "Outcome holds values");
    static_assert(!std::is_same_v<std::remove_cv_t<T>, Failure>, "Outcome<Failure> is meaningless");

public:
    // Success from anything a T can be made from (a T, a derived unique_ptr,
    // ...); implicit only where the conversion to T is, so a raw pointer does
    // not silently become an owning one.
    template <typename U = T,
              typename = std::enable_if_t<std::is_constructible_v<T, U&&> &&
                                          !std::is_same_v<std::remove_cvref_t<U>, Outcome> &&
                                          !std::is_same_v<std::remove_cvref_t<U>, Failure>>>
    explicit(!std::is_convertible_v<U&&, T>) Outcome(U&& value)
        : state_(std::in_place_index<0>, std::forward<U>(value)) {}
    Outcome(Failure failure) noexcept : state_(std::in_place_index<1>, failure) {}

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }
    PlatformError error() const noexcept {
        return ok() ? errors::kSuccess : std::get_if<1>(&state_)->code();
    }
    // failure: the error, for passing it on (`return r.failure();`). On a
    // successful Outcome it is NTE_FAIL, never a success code.
    Failure failure() const noexcept {
        assert(!ok());
        return ok() ? Failure(errors::kNteFail) : *std::get_if<1>(&state_);
    }

    T& value() & {
        assert(ok());
        return *std::get_if<0>(&state_);
    }
    const T& value() const& {
        assert(ok());
        return *std::get_if<0>(&state_);
    }
    T&& value() && {
        assert(ok());
        return std::move(*std::get_if<0>(&state_));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // valueOr: the value, or `fallback` when the Outcome failed.
    template <typename U>
    T valueOr(U&& fallback) const& {
        return ok() ? value() : static_cast<T>(std::forward<U>(fallback));
    }
    template <typename U>
    T valueOr(U&& fallback) && {
        return ok() ? std::move(*this).value() : static_cast<T>(std::forward<U>(fallback));
    }

private:
    std::variant<T, Failure> state_;
};

// Outcome<void>: success or a platform error number, for calls without a value.
template <>
class [[nodiscard]] Outcome<void> {
public:
    constexpr Outcome() noexcept = default;
    constexpr Outcome(Failure failure) noexcept : code_(failure.code()) {}

    // success: the successful Status, for readability at return sites.
    static constexpr Outcome success() noexcept { return Outcome(); }

    constexpr bool ok() const noexcept { return code_ == errors::kSuccess; }
    constexpr explicit operator bool() const noexcept { return ok(); }
    constexpr PlatformError error() const noexcept { return code_; }
    constexpr Failure failure() const noexcept {
        assert(!ok());
        return Failure(code_);
    }

private:
    PlatformError code_ = errors::kSuccess;
};

// Status: the result of a platform call that gives back nothing but success
// or an error number.
using Status = Outcome<void>;

}  // namespace pennaform::platform
