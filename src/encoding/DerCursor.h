// DerCursor: a reader of DER elements over a borrowed byte span. Every read
// either consumes a whole element or fails and leaves the cursor where it
// was; a nested element comes back as a cursor over its contents (no copy).
// Lengths read from the input are checked against the bytes that remain
// before anything is taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace pennaform {

// DER tags the component reads and writes (X.690 §8: universal class, with
// the constructed bit where the type is constructed).
namespace derTags {
inline constexpr std::uint8_t kBoolean = 0x01;
inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kBitString = 0x03;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kNull = 0x05;
inline constexpr std::uint8_t kOid = 0x06;
inline constexpr std::uint8_t kUtf8String = 0x0C;
inline constexpr std::uint8_t kNumericString = 0x12;
inline constexpr std::uint8_t kPrintableString = 0x13;
inline constexpr std::uint8_t kT61String = 0x14;
inline constexpr std::uint8_t kVideotexString = 0x15;
inline constexpr std::uint8_t kIa5String = 0x16;
inline constexpr std::uint8_t kUtcTime = 0x17;
inline constexpr std::uint8_t kGeneralizedTime = 0x18;
inline constexpr std::uint8_t kGraphicString = 0x19;
inline constexpr std::uint8_t kVisibleString = 0x1A;
inline constexpr std::uint8_t kGeneralString = 0x1B;
inline constexpr std::uint8_t kUniversalString = 0x1C;
inline constexpr std::uint8_t kBmpString = 0x1E;
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kSet = 0x31;
// kContext0Constructed: [0] EXPLICIT, as the certificate's version is tagged.
inline constexpr std::uint8_t kContext0Constructed = 0xA0;
// Bits of the identifier octet (X.690 §8.1.2).
inline constexpr std::uint8_t kConstructedBit = 0x20;
inline constexpr std::uint8_t kContextClass = 0x80;
// kHighTagNumber: the tag-number bits of a tag continued in further octets,
// which this cursor and the builder do not accept.
inline constexpr std::uint8_t kHighTagNumber = 0x1F;
}  // namespace derTags

// DerElement: one element read by the cursor: its tag, its contents and its
// whole encoding (tag, length and contents).
struct DerElement {
    std::uint8_t tag = 0;
    std::span<const std::uint8_t> contents;
    std::span<const std::uint8_t> encoding;
};

class DerCursor {
public:
    explicit DerCursor(std::span<const std::uint8_t> bytes) : rest_(bytes) {}

    bool empty() const { return rest_.empty(); }
    std::span<const std::uint8_t> rest() const { return rest_; }

    // readAny: the next element, whatever its tag. Only single-byte tags and
    // definite lengths in their shortest form are accepted (DER, X.690
    // §10.1); a length beyond the remaining bytes fails.
    std::optional<DerElement> readAny() {
        if (rest_.size() < 2) return std::nullopt;
        const std::uint8_t tag = rest_[0];
        if ((tag & 0x1F) == 0x1F) return std::nullopt;  // multi-byte tag numbers
        std::size_t header = 2;
        std::size_t length = rest_[1];
        if (length & 0x80) {
            const std::size_t lengthBytes = length & 0x7F;
            if (lengthBytes == 0 || lengthBytes > sizeof(std::size_t) - 1) return std::nullopt;
            if (rest_.size() < 2 + lengthBytes || rest_[2] == 0) return std::nullopt;
            length = 0;
            for (std::size_t i = 0; i < lengthBytes; ++i) length = (length << 8) | rest_[2 + i];
            if (length < 0x80) return std::nullopt;
            header += lengthBytes;
        }
        if (length > rest_.size() - header) return std::nullopt;
        DerElement element{tag, rest_.subspan(header, length), rest_.first(header + length)};
        rest_ = rest_.subspan(header + length);
        return element;
    }

    // read: the next element if its tag is `tag`; otherwise fails and
    // consumes nothing.
    std::optional<DerElement> read(std::uint8_t tag) {
        if (rest_.empty() || rest_[0] != tag) return std::nullopt;
        return readAny();
    }

    // readNested: the contents of the next element of tag `tag` as a cursor.
    std::optional<DerCursor> readNested(std::uint8_t tag) {
        std::optional<DerElement> element = read(tag);
        if (!element) return std::nullopt;
        return DerCursor(element->contents);
    }

    // peekTag: the tag of the next element, if any.
    std::optional<std::uint8_t> peekTag() const {
        if (rest_.empty()) return std::nullopt;
        return rest_[0];
    }

private:
    std::span<const std::uint8_t> rest_;
};

}  // namespace pennaform
