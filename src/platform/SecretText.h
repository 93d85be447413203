// SecretText: text that holds a secret (a password a dialog keeps between
// calls), wiped like SecretBytes: when it is destroyed, cleared, reassigned
// or moved from, and in every block its storage gives back. The characters
// kept inside the object itself (short text) are wiped too, which an
// allocator alone would miss. Move-only.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/SecretBytes.h"

namespace pennaform::platform {

template <typename Char>
class BasicSecretText {
public:
    BasicSecretText() = default;
    explicit BasicSecretText(std::basic_string_view<Char> text) : text_(text) {}
    BasicSecretText(BasicSecretText&& other) noexcept : text_(std::move(other.text_)) {
        other.clear();
    }
    BasicSecretText& operator=(BasicSecretText&& other) noexcept {
        if (this != &other) {
            clear();
            text_ = std::move(other.text_);
            other.clear();
        }
        return *this;
    }
    BasicSecretText(const BasicSecretText&) = delete;
    BasicSecretText& operator=(const BasicSecretText&) = delete;
    ~BasicSecretText() { clear(); }

    std::basic_string_view<Char> view() const noexcept { return text_; }
    bool empty() const noexcept { return text_.empty(); }

    // assign: the text becomes `text`; what it held is wiped first.
    void assign(std::basic_string_view<Char> text) {
        clear();
        text_.assign(text);
    }
    // clear: wipes every character the storage can hold, then empties it.
    void clear() noexcept {
        text_.resize(text_.capacity());  // within the capacity: no allocation
        wipeMemory(text_.data(), text_.size() * sizeof(Char));
        text_.clear();
    }

private:
    std::basic_string<Char, std::char_traits<Char>, WipingAllocator<Char>> text_;
};

using SecretText = BasicSecretText<char>;
using SecretText16 = BasicSecretText<char16_t>;

}  // namespace pennaform::platform
