#include "encoding/DerBuilder.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

namespace pennaform {
namespace {

using Octets = std::vector<std::uint8_t>;

// appendBase128: a subidentifier of an OBJECT IDENTIFIER, seven bits an
// octet, most significant first, the high bit set on all but the last
// (X.690 §8.19.2).
void appendBase128(Octets& out, std::uint64_t value) {
    std::array<std::uint8_t, 10> groups{};
    std::size_t count = 0;
    do {
        groups[count++] = std::uint8_t(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(std::uint8_t(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

// oidContents: the contents octets of the OID in dotted form; nullopt when
// the text is not one (X.690 §8.19.4: the first two arcs share the first
// subidentifier, X*40+Y).
std::optional<Octets> oidContents(std::string_view dotted) {
    std::vector<std::uint64_t> arcs;
    const char* p = dotted.data();
    const char* end = p + dotted.size();
    while (true) {
        std::uint64_t arc = 0;
        auto [next, error] = std::from_chars(p, end, arc);
        if (error != std::errc() || next == p) return std::nullopt;
        if (*p == '0' && next - p > 1) return std::nullopt;  // no leading zeros
        arcs.push_back(arc);
        p = next;
        if (p == end) break;
        if (*p != '.') return std::nullopt;
        ++p;
    }
    if (arcs.size() < 2 || arcs[0] > 2) return std::nullopt;
    if (arcs[0] < 2 && arcs[1] >= 40) return std::nullopt;
    if (arcs[1] > std::numeric_limits<std::uint64_t>::max() - 80) return std::nullopt;
    Octets out;
    appendBase128(out, arcs[0] * 40 + arcs[1]);
    for (std::size_t i = 2; i < arcs.size(); ++i) appendBase128(out, arcs[i]);
    return out;
}

// validOidContents: contents made of whole subidentifiers, none padded with
// a leading 0x80 octet (X.690 §8.19.2).
bool validOidContents(std::span<const std::uint8_t> contents) {
    if (contents.empty() || (contents.back() & 0x80) != 0) return false;
    bool atStart = true;
    for (std::uint8_t octet : contents) {
        if (atStart && octet == 0x80) return false;
        atStart = (octet & 0x80) == 0;
    }
    return true;
}

// isPrintable: the PrintableString character set (X.680 §41.4).
bool isPrintable(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view(" '()+,-./:=?").find(c) != std::string_view::npos;
}

bool validTime(const DerTime& t) {
    static constexpr std::array<int, 12> kDays{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < 0 || t.year > 9999 || t.month < 1 || t.month > 12) return false;
    const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    const int days = t.month == 2 && !leap ? 28 : kDays[std::size_t(t.month - 1)];
    return t.day >= 1 && t.day <= days && t.hour >= 0 && t.hour < 24 && t.minute >= 0 &&
           t.minute < 60 && t.second >= 0 && t.second < 60;
}

void appendDigits(Octets& out, int value, int width) {
    for (int divisor = width == 4 ? 1000 : 10; divisor >= 1; divisor /= 10) {
        out.push_back(std::uint8_t('0' + (value / divisor) % 10));
    }
}

// timeContents: the time in the form X.690 §11.7/§11.8 fixes for DER:
// seconds present, no fraction, 'Z'. The year takes `yearWidth` digits.
Octets timeContents(const DerTime& t, int yearWidth) {
    Octets out;
    appendDigits(out, yearWidth == 2 ? t.year % 100 : t.year, yearWidth);
    for (int field : {t.month, t.day, t.hour, t.minute, t.second}) appendDigits(out, field, 2);
    out.push_back('Z');
    return out;
}

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

bool DerScope::writable() const {
    const DerBuilder& b = *builder_;
    if (b.failed_ || b.finished_ || b.open_.size() != depth_) return false;
    return depth_ == 0 || b.open_.back().serial == serial_;
}

DerScope& DerScope::add(std::uint8_t tag, std::span<const std::uint8_t> contents) {
    DerScope element = child(tag);
    element.addRaw(contents);
    element.close();
    return *this;
}

DerScope& DerScope::addRaw(std::span<const std::uint8_t> bytes) {
    if (!writable()) {
        builder_->fail();
    } else {
        builder_->bytes_.insert(builder_->bytes_.end(), bytes.begin(), bytes.end());
    }
    return *this;
}

DerScope& DerScope::addInteger(std::int64_t value) {
    std::array<std::uint8_t, 8> octets{};
    for (std::size_t i = 0; i < octets.size(); ++i) {
        octets[i] = std::uint8_t(std::uint64_t(value) >> (8 * (7 - i)));
    }
    // X.690 §8.3.2: the first nine bits are never all zeros or all ones.
    std::size_t first = 0;
    while (first < 7 && ((octets[first] == 0x00 && (octets[first + 1] & 0x80) == 0) ||
                         (octets[first] == 0xFF && (octets[first + 1] & 0x80) != 0))) {
        ++first;
    }
    return add(derTags::kInteger, std::span(octets).subspan(first));
}

DerScope& DerScope::addUnsignedInteger(std::span<const std::uint8_t> bigEndian) {
    std::size_t first = 0;
    while (first < bigEndian.size() && bigEndian[first] == 0) ++first;
    Octets contents;
    if (first == bigEndian.size() || (bigEndian[first] & 0x80) != 0) contents.push_back(0);
    contents.insert(contents.end(), bigEndian.begin() + std::ptrdiff_t(first), bigEndian.end());
    return add(derTags::kInteger, contents);
}

DerScope& DerScope::addOid(std::string_view dotted) {
    std::optional<Octets> contents = oidContents(dotted);
    if (!contents) {
        builder_->fail();
        return *this;
    }
    return add(derTags::kOid, *contents);
}

DerScope& DerScope::addOidContents(std::span<const std::uint8_t> contents) {
    if (!validOidContents(contents)) {
        builder_->fail();
        return *this;
    }
    return add(derTags::kOid, contents);
}

DerScope& DerScope::addNull() {
    return add(derTags::kNull, {});
}

DerScope& DerScope::addBoolean(bool value) {
    const std::uint8_t octet = value ? 0xFF : 0x00;
    return add(derTags::kBoolean, std::span(&octet, 1));
}

DerScope& DerScope::addText(std::uint8_t tag, std::string_view text) {
    return add(tag, bytesOf(text));
}

DerScope& DerScope::addUtf8String(std::string_view text) {
    return addText(derTags::kUtf8String, text);
}

DerScope& DerScope::addPrintableString(std::string_view text) {
    if (!std::all_of(text.begin(), text.end(), isPrintable)) {
        builder_->fail();
        return *this;
    }
    return addText(derTags::kPrintableString, text);
}

DerScope& DerScope::addIa5String(std::string_view text) {
    if (!std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; })) {
        builder_->fail();
        return *this;
    }
    return addText(derTags::kIa5String, text);
}

DerScope& DerScope::addUtcTime(const DerTime& time) {
    if (!validTime(time) || time.year < 1950 || time.year > 2049) {
        builder_->fail();
        return *this;
    }
    return add(derTags::kUtcTime, timeContents(time, 2));
}

DerScope& DerScope::addGeneralizedTime(const DerTime& time) {
    if (!validTime(time)) {
        builder_->fail();
        return *this;
    }
    return add(derTags::kGeneralizedTime, timeContents(time, 4));
}

DerScope& DerScope::addPrimitive(std::uint8_t tag, std::span<const std::uint8_t> contents) {
    if ((tag & derTags::kConstructedBit) != 0) {
        builder_->fail();
        return *this;
    }
    return add(tag, contents);
}

DerScope& DerScope::addElement(std::span<const std::uint8_t> encoding) {
    DerCursor cursor(encoding);
    if (!cursor.readAny() || !cursor.empty()) {
        builder_->fail();
        return *this;
    }
    return addRaw(encoding);
}

DerScope DerScope::sequence() {
    return child(derTags::kSequence);
}

DerScope DerScope::set() {
    return child(derTags::kSet);
}

DerScope DerScope::setOf() {
    if (!writable()) {
        builder_->fail();
        return DerScope(builder_, depth_ + 1, 0);
    }
    return DerScope(builder_, depth_ + 1, builder_->openChild(derTags::kSet, true));
}

DerScope DerScope::contextConstructed(std::uint8_t number) {
    if (number >= derTags::kHighTagNumber) {
        builder_->fail();
        return DerScope(builder_, depth_ + 1, 0);
    }
    return child(std::uint8_t(derTags::kContextClass | derTags::kConstructedBit | number));
}

DerScope DerScope::contextPrimitive(std::uint8_t number) {
    if (number >= derTags::kHighTagNumber) {
        builder_->fail();
        return DerScope(builder_, depth_ + 1, 0);
    }
    return child(std::uint8_t(derTags::kContextClass | number));
}

DerScope DerScope::octetString() {
    return child(derTags::kOctetString);
}

DerScope DerScope::bitString() {
    DerScope bits = child(derTags::kBitString);
    const std::uint8_t noUnusedBits = 0;
    bits.addRaw(std::span(&noUnusedBits, 1));
    return bits;
}

DerScope DerScope::child(std::uint8_t tag) {
    if (!writable() || (tag & derTags::kHighTagNumber) == derTags::kHighTagNumber) {
        builder_->fail();
        return DerScope(builder_, depth_ + 1, 0);
    }
    return DerScope(builder_, depth_ + 1, builder_->openChild(tag, false));
}

void DerScope::close() {
    if (depth_ == 0 || !writable() || !builder_->closeInnermost()) builder_->fail();
}

std::uint64_t DerBuilder::openChild(std::uint8_t tag, bool sortAsSetOf) {
    const std::size_t headerStart = bytes_.size();
    bytes_.push_back(tag);
    bytes_.push_back(0);  // the length, written when the child closes
    const std::uint64_t serial = nextSerial_++;
    open_.push_back({headerStart, bytes_.size(), sortAsSetOf, serial});
    return serial;
}

// closeInnermost: X.690 §10.1: the definite form, in the fewest octets.
bool DerBuilder::closeInnermost() {
    const Open scope = open_.back();
    open_.pop_back();
    if (scope.sortAsSetOf && !sortSetOf(scope.contentStart)) return false;
    std::size_t length = bytes_.size() - scope.contentStart;
    if (length < 0x80) {
        bytes_[scope.contentStart - 1] = std::uint8_t(length);
        return true;
    }
    Octets lengthOctets;
    for (; length != 0; length >>= 8)
        lengthOctets.insert(lengthOctets.begin(), std::uint8_t(length));
    bytes_[scope.contentStart - 1] = std::uint8_t(0x80 | lengthOctets.size());
    bytes_.insert(bytes_.begin() + std::ptrdiff_t(scope.contentStart), lengthOctets.begin(),
                  lengthOctets.end());
    return true;
}

// sortSetOf: X.690 §11.6: the elements of a SET OF in ascending order of
// their encodings, compared as octet strings (a shorter one padded with
// zeros at its end, which orders a prefix first, as lexicographic order does).
bool DerBuilder::sortSetOf(std::size_t contentStart) {
    const std::span<const std::uint8_t> contents = std::span(bytes_).subspan(contentStart);
    std::vector<Octets> elements;
    DerCursor cursor(contents);
    while (!cursor.empty()) {
        std::optional<DerElement> element = cursor.readAny();
        if (!element) return false;
        elements.emplace_back(element->encoding.begin(), element->encoding.end());
    }
    std::sort(elements.begin(), elements.end());
    bytes_.resize(contentStart);
    for (const Octets& element : elements)
        bytes_.insert(bytes_.end(), element.begin(), element.end());
    return true;
}

std::optional<std::vector<std::uint8_t>> DerBuilder::finish() {
    const bool complete = !failed_ && !finished_ && open_.empty();
    finished_ = true;
    if (!complete) return std::nullopt;
    return std::move(bytes_);
}

}  // namespace pennaform
