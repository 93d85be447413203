// DerBuilder: a writer of DER. Elements are added through scopes: the
// builder itself is the outermost scope, and a constructed element (SEQUENCE,
// SET, a context tag) or a wrapping OCTET/BIT STRING is a child scope whose
// length is written when the child closes. A failure (a value DER cannot
// carry, a write to a scope that is not the innermost open one, an unclosed
// child) sticks to the builder, so a chain of writes is checked once, at
// finish(). What it writes, DerCursor reads back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "encoding/DerCursor.h"

namespace pennaform {

class DerBuilder;

// DerTime: a UTC instant as the time types carry it, to the second.
struct DerTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// DerScope: a handle on one open scope of a builder. Writes go to the
// scope's contents; a write through a scope that is closed, or that has an
// open child, fails the builder. Handles are small and copied freely; they
// must not outlive their builder.
class DerScope {
public:
    // addInteger: INTEGER (X.690 §8.3) of `value` in the fewest octets of
    // two's complement.
    DerScope& addInteger(std::int64_t value);
    // addUnsignedInteger: INTEGER of the non-negative number whose
    // big-endian magnitude is `bigEndian`; leading zero octets are dropped
    // and one 0x00 is put before a first octet with its high bit set. An
    // empty magnitude is 0.
    DerScope& addUnsignedInteger(std::span<const std::uint8_t> bigEndian);
    // addOid: OBJECT IDENTIFIER (X.690 §8.19) from its dotted form: at least
    // two arcs, the first 0..2, the second below 40 unless the first is 2.
    DerScope& addOid(std::string_view dotted);
    // addOidContents: OBJECT IDENTIFIER from its encoded contents, which must
    // be a well-formed sequence of subidentifiers (no 0x80 padding octet).
    DerScope& addOidContents(std::span<const std::uint8_t> contents);
    DerScope& addNull();
    // addBoolean: BOOLEAN, TRUE as 0xFF (X.690 §11.1).
    DerScope& addBoolean(bool value);
    // String types: addPrintableString and addIa5String fail on a character
    // outside their sets; addUtf8String takes the bytes as they are.
    DerScope& addUtf8String(std::string_view text);
    DerScope& addPrintableString(std::string_view text);
    DerScope& addIa5String(std::string_view text);
    // addUtcTime: UTCTime YYMMDDHHMMSSZ (X.690 §11.8), for 1950..2049 only
    // (RFC 5280 §4.1.2.5.1). addGeneralizedTime: YYYYMMDDHHMMSSZ.
    DerScope& addUtcTime(const DerTime& time);
    DerScope& addGeneralizedTime(const DerTime& time);
    // addPrimitive: an element of any one-octet tag with `contents` as given.
    DerScope& addPrimitive(std::uint8_t tag, std::span<const std::uint8_t> contents);
    // addElement: one whole element already encoded (tag, length, contents),
    // checked to be exactly one DER element.
    DerScope& addElement(std::span<const std::uint8_t> encoding);

    // Child scopes. Each must be closed before its parent is written to or
    // closed. setOf() sorts its elements as SET OF requires when it closes.
    DerScope sequence();
    DerScope set();
    DerScope setOf();
    // contextConstructed: [number] with the constructed bit (EXPLICIT, or an
    // IMPLICIT constructed type); contextPrimitive: [number] IMPLICIT over a
    // primitive type, whose contents the child writes raw with addRaw.
    DerScope contextConstructed(std::uint8_t number);
    DerScope contextPrimitive(std::uint8_t number);
    // octetString / bitString: an OCTET STRING or a BIT STRING (with zero
    // unused bits) wrapping what the child writes, as extensions and keys
    // are wrapped.
    DerScope octetString();
    DerScope bitString();
    // child: a child scope of any one-octet tag.
    DerScope child(std::uint8_t tag);
    // addRaw: bytes appended to the contents as they are.
    DerScope& addRaw(std::span<const std::uint8_t> bytes);

    // close: writes this scope's length. Closing the builder itself, a
    // closed scope, or a scope with an open child fails the builder.
    void close();

protected:
    DerScope(DerBuilder* builder, std::size_t depth, std::uint64_t serial)
        : builder_(builder), depth_(depth), serial_(serial) {}

private:
    friend class DerBuilder;
    bool writable() const;
    DerScope& add(std::uint8_t tag, std::span<const std::uint8_t> contents);
    DerScope& addText(std::uint8_t tag, std::string_view text);

    DerBuilder* builder_;
    std::size_t depth_;     // 0 for the builder, else the number of scopes around it
    std::uint64_t serial_;  // tells this scope from a later one at the same depth
};

class DerBuilder : public DerScope {
public:
    DerBuilder() : DerScope(this, 0, 0) {}
    DerBuilder(const DerBuilder&) = delete;
    DerBuilder& operator=(const DerBuilder&) = delete;

    // ok: false once any write has failed.
    bool ok() const { return !failed_; }

    // finish: the encoding, when every write succeeded and every child was
    // closed; nullopt otherwise. The builder is spent either way.
    std::optional<std::vector<std::uint8_t>> finish();

private:
    friend class DerScope;
    struct Open {
        std::size_t headerStart;   // where the tag octet is
        std::size_t contentStart;  // after the one-octet length placeholder
        bool sortAsSetOf;
        std::uint64_t serial;
    };
    void fail() { failed_ = true; }
    std::uint64_t openChild(std::uint8_t tag, bool sortAsSetOf);
    bool closeInnermost();
    bool sortSetOf(std::size_t contentStart);

    std::vector<std::uint8_t> bytes_;
    std::vector<Open> open_;
    std::uint64_t nextSerial_ = 1;
    bool failed_ = false;
    bool finished_ = false;
};

}  // namespace pennaform
