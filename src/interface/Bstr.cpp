#include "interface/Bstr.h"

#include <cstdlib>
#include <cstring>

namespace {

// Layout of one allocation: 4 bytes of padding (so the text is 8-byte aligned
// on 64-bit systems), the 4-byte byte count, the UTF-16 text, a zero unit.
constexpr std::size_t kHeader = 8;
constexpr std::uint32_t kMaxLength = 0x7FFFFFF0u / 2;

std::size_t textLength(const OLECHAR* text) {
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

}  // namespace

extern "C" {

PENNAFORM_API BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length) {
    if (length > kMaxLength) return nullptr;
    std::size_t bytes = std::size_t(length) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::calloc(1, kHeader + bytes + sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    std::uint32_t byteCount = std::uint32_t(bytes);
    std::memcpy(block + kHeader - sizeof byteCount, &byteCount, sizeof byteCount);
    BSTR result = reinterpret_cast<BSTR>(block + kHeader);
    if (text != nullptr && length > 0) std::memcpy(result, text, bytes);
    return result;
}

PENNAFORM_API BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    std::size_t length = textLength(text);
    if (length > kMaxLength) return nullptr;
    return SysAllocStringLen(text, std::uint32_t(length));
}

PENNAFORM_API uint32_t SysStringLen(BSTR text) {
    if (text == nullptr) return 0;
    std::uint32_t byteCount;
    std::memcpy(&byteCount, reinterpret_cast<unsigned char*>(text) - sizeof byteCount,
                sizeof byteCount);
    return byteCount / sizeof(OLECHAR);
}

PENNAFORM_API void SysFreeString(BSTR text) {
    if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - kHeader);
}

}  // extern "C"

namespace pennaform {

std::u16string copyArgument(const OLECHAR* text) {
    if (text == nullptr) return {};
    return std::u16string(text, textLength(text));
}

BSTR toBstr(const std::optional<std::u16string>& text) {
    if (!text) return nullptr;
    return SysAllocStringLen(text->data(), std::uint32_t(text->size()));
}

}  // namespace pennaform
