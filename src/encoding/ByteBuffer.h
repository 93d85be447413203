// ByteBuffer: the byte buffer behind every binary value of the component
// (certificates, keys, signatures, digests, messages, cipher texts), with the
// Base64 and hexadecimal codecs through which those values cross the API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace pennaform {

// ByteBuffer owns its content exclusively (it can be moved, never copied).
// A non-empty buffer's content is always followed by at least two zero
// bytes, so a buffer that holds text is also a NUL-terminated string.
// Every operation that fails leaves the buffer empty.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ~ByteBuffer() = default;

    // data: the content, or null when the buffer is empty.
    const std::uint8_t* data() const { return length_ > 0 ? storage_.data() : nullptr; }
    std::uint8_t* data() { return length_ > 0 ? storage_.data() : nullptr; }
    std::int32_t length() const { return length_; }
    bool empty() const { return length_ == 0; }
    std::span<const std::uint8_t> bytes() const { return {storage_.data(), std::size_t(length_)}; }
    // text: the content read as 8-bit text (for the encoders' output).
    std::string_view text() const;

    // release: frees the content and returns to the empty state.
    void release();
    // allocate: replaces the content with n zero bytes; false (and empty) when n < 1.
    bool allocate(std::int32_t n);
    // append: adds n bytes behind the content; false, changing nothing, when
    // bytes is null or n <= 0. Amortised growth keeps repeated appends linear.
    bool append(const void* bytes, std::int32_t n);
    // assignReversed: replaces the content with the n bytes in reverse order
    // (little-endian platform blobs <-> big-endian integers). The old content
    // is gone even when the call fails (null bytes or n < 1).
    bool assignReversed(const void* bytes, std::int32_t n);

    // base64Encode: one line of standard Base64 with "=" padding, no armour.
    // False (empty) for null input or n == 0.
    bool base64Encode(const void* bytes, std::int32_t n);
    // base64Decode: lenient decoding of NUL-terminated text (the text ends at
    // its first NUL). Armour of dash runs is stripped, CR, LF and space are
    // skipped, a character outside the alphabet counts as the value 1, and a
    // short last group counts as padded. True when at least one byte results.
    bool base64Decode(std::string_view text);
    // hexEncode: two upper-case hexadecimal digits per byte, no separators.
    bool hexEncode(const void* bytes, std::int32_t n);
    // hexDecode: one byte per pair of characters (NUL-terminated text); false
    // for empty text or an odd count. No character is rejected: each is
    // upper-cased and valued as (c - '0') below ':' and (c - 'A' + 10) above.
    bool hexDecode(std::string_view text);

private:
    // storage_ holds length_ + at least 2 bytes when non-empty; every byte
    // past the content is zero.
    std::vector<std::uint8_t> storage_;
    std::int32_t length_ = 0;
};

}  // namespace pennaform
