// DerNode: the small ASN.1 toolkit the SignedData writer works with: one
// element that knows its tag and value and writes itself, encoders for
// INTEGER and OBJECT IDENTIFIER values, a reader of one element and of the
// children of a constructed one, and a decoder of the parts of an X.509
// certificate that signing needs. Reading goes through DerCursor (strict DER,
// every length checked against the bytes there are); writing goes through
// DerBuilder, which fills in the lengths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace pennaform {

using DerBytes = std::vector<std::uint8_t>;
using DerView = std::span<const std::uint8_t>;

// Class-and-form bits: the top three bits of an identifier octet.
namespace derClass {
inline constexpr std::uint8_t kUniversal = 0x00;
inline constexpr std::uint8_t kConstructed = 0x20;
inline constexpr std::uint8_t kContextPrimitive = 0x80;
inline constexpr std::uint8_t kContextConstructed = 0xA0;
}  // namespace derClass

// Universal tag numbers the toolkit writes.
namespace derType {
inline constexpr std::uint32_t kInteger = 2;
inline constexpr std::uint32_t kBitString = 3;
inline constexpr std::uint32_t kOctetString = 4;
inline constexpr std::uint32_t kNull = 5;
inline constexpr std::uint32_t kOid = 6;
inline constexpr std::uint32_t kSequence = 16;
inline constexpr std::uint32_t kSet = 17;
inline constexpr std::uint32_t kUtcTime = 23;
inline constexpr std::uint32_t kGeneralizedTime = 24;
}  // namespace derType

class DerNode {
public:
    // setValue: the node's value becomes a copy of `bytes` with universal
    // type `type`. With `pad`, a leading 0x00 octet is written before the
    // value of an INTEGER whose first byte has its top bit set (so it stays
    // positive), and always before a BIT STRING's (no unused bits). Always
    // true.
    bool setValue(DerView bytes, std::uint32_t type, bool pad);
    // setInteger: the unsigned big-endian number `bigEndian` as an INTEGER:
    // leading zero bytes dropped (no bytes at all is the number 0, 02 01 00),
    // a 0x00 octet put before a first byte with its top bit set.
    bool setInteger(DerView bigEndian);
    // setOid: the dotted (or space-separated) object identifier as the
    // value, type OBJECT IDENTIFIER (X.690 §8.19). False, the node emptied,
    // for anything else: a first arc above 2, a second arc above 39 under
    // arc 0 or 1, an arc above 32 bits, a character other than digits and
    // separators, an empty arc, or an encoding longer than 24 octets.
    bool setOid(std::string_view text);

    // encode: writes the node as tag number `tag` (below 31) with the class
    // bits `classBits` (derClass), its length, the leading octet if any and
    // the value, and appends that to `out`. False, leaving `out` untouched,
    // for a tag of 31 or more or class bits outside the top three.
    bool encode(DerBytes& out, std::uint32_t tag, std::uint8_t classBits);

    // parse: reads the one element at the start of `bytes` as the node (a
    // view: `bytes` must outlive the node). It must carry the class bits
    // `expectedClass` and, unless `expectedTag` is 0, the tag number
    // `expectedTag`. A BIT STRING's unused-bits octet becomes the leading
    // octet and leaves the value view. False, the node emptied, for a
    // mismatch or anything that is not DER: a multi-octet tag, an indefinite
    // length, a length in more than four octets or not in its shortest form,
    // a length beyond `bytes`, a BIT STRING without its unused-bits octet.
    bool parse(DerView bytes, std::uint32_t expectedTag, std::uint8_t expectedClass);
    // nextChild: the whole encoding of the next element inside the value,
    // advancing past it; nullopt at the end of the value or when what
    // follows is not one element inside it (see parse).
    std::optional<DerView> nextChild();
    // peekChild: the identifier octet of the element nextChild reads next;
    // nullopt at the end of the value.
    std::optional<std::uint8_t> peekChild() const;
    // childrenDone: whether nextChild has read the whole value.
    bool childrenDone() const { return cursor_ == value().size(); }
    // parseList: parse, then every child into children(); false, the node
    // emptied, unless the children exactly fill the value.
    bool parseList(DerView bytes, std::uint32_t expectedTag, std::uint8_t expectedClass);

    std::uint32_t tag() const { return tag_; }
    std::uint8_t classBits() const { return classBits_; }
    // encoding: the whole element as parsed; empty for a node built here.
    DerView encoding() const { return encoding_; }
    // value: the value, without the leading octet.
    DerView value() const;
    std::optional<std::uint8_t> leadingOctet() const { return leading_; }
    // children: the encodings of the children parseList read, in order.
    const std::vector<DerView>& children() const { return children_; }

    // reset: the node holds nothing.
    void reset();

private:
    DerView encoding_;
    DerView parsedValue_;
    DerBytes ownValue_;
    bool ownsValue_ = false;
    std::uint32_t tag_ = 0;
    std::uint8_t classBits_ = 0;
    std::size_t cursor_ = 0;
    std::optional<std::uint8_t> leading_;
    std::vector<DerView> children_;
};

// AlgorithmIdentifierView: the parts of an AlgorithmIdentifier (RFC 5280
// §4.1.1.2), as views into the bytes decoded.
struct AlgorithmIdentifierView {
    DerView oid;                        // the OBJECT IDENTIFIER's value
    std::optional<DerView> parameters;  // the whole parameters element, if any
};

// decodeAlgorithmIdentifier: the SEQUENCE at the start of `bytes`, holding
// an OBJECT IDENTIFIER and at most one more element that together fill it.
std::optional<AlgorithmIdentifierView> decodeAlgorithmIdentifier(DerView bytes);

// CertificateView: the fields of an X.509 certificate (RFC 5280 §4.1) that
// signing uses, as views into the certificate's bytes.
struct CertificateView {
    DerView tbsCertificate;  // its whole encoding
    DerView serialNumber;    // the INTEGER's contents, octet for octet
    DerView issuer;          // the issuer Name's contents (inside its SEQUENCE)
    DerView subject;         // the subject Name's contents
    DerView notBefore;       // the time's contents (UTCTime or GeneralizedTime)
    DerView notAfter;
    DerView subjectPublicKeyInfo;  // its whole encoding
    AlgorithmIdentifierView signatureAlgorithm;
    DerView signatureValue;  // the BIT STRING's bits, unused-bits octet removed
};

// decodeCertificate: `bytes`, which must be exactly one certificate of
// version 2 or 3 (the [0] version is required), read field by field: serial
// number, signature algorithm, issuer, validity (each time a UTCTime or a
// GeneralizedTime, which RFC 5280 §4.1.2.5 requires from 2050 on), subject,
// public key, the optional unique identifiers [1] and [2] and extensions
// [3], which must fill the tbsCertificate exactly. nullopt otherwise.
std::optional<CertificateView> decodeCertificate(DerView bytes);

}  // namespace pennaform
