// The name renderings on names built byte by byte, for the cases a
// certificate maker cannot be asked for: values that are no strings,
// malformed names, surrogates and the Teletex fallback.
#include "platform/posix/NameText.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace pennaform::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

// tlv: one DER element (short lengths only, enough for these names).
Bytes tlv(std::uint8_t tag, const Bytes& contents) {
    Bytes out{tag, std::uint8_t(contents.size())};
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}
Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}
Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

const Bytes kCn{0x06, 0x03, 0x55, 0x04, 0x03};
const Bytes kOu{0x06, 0x03, 0x55, 0x04, 0x0B};

Bytes attribute(const Bytes& oid, const Bytes& value) {
    return tlv(0x30, concat({oid, value}));
}
Bytes rdn(std::initializer_list<Bytes> attributes) {
    return tlv(0x31, concat(attributes));
}
Bytes name(std::initializer_list<Bytes> rdns) {
    return tlv(0x30, concat(rdns));
}

TEST(NameText, ValuesThatAreNoStringsAreWrittenInHex) {
    const Bytes octets = name({rdn({attribute(kOu, tlv(0x04, {0x0A, 0x56, 0xCF}))})});
    EXPECT_EQ(x500NameText(octets), u"OU=#0A56CF");
    // Anything else is written with its tag and length.
    const Bytes integer = name({rdn({attribute(kOu, tlv(0x02, {0x01, 0xFF}))})});
    EXPECT_EQ(x500NameText(integer), u"OU=#020201FF");
    const Bytes sequence = name({rdn({attribute(kCn, tlv(0x30, tlv(0x0C, text("x"))))})});
    EXPECT_EQ(x500NameText(sequence),
              u"CN=#3003"
              u"0C0178");
}

TEST(NameText, StringConversions) {
    // Teletex: valid UTF-8 is read as UTF-8, anything else byte by byte.
    EXPECT_EQ(x500NameText(name({rdn({attribute(kCn, tlv(0x14, {0xC3, 0xA9}))})})), u"CN=é");
    EXPECT_EQ(x500NameText(name({rdn({attribute(kCn, tlv(0x14, {0xE9, 0x41}))})})), u"CN=éA");
    // Invalid UTF-8 in a UTF8String becomes U+FFFD.
    EXPECT_EQ(x500NameText(name({rdn({attribute(kCn, tlv(0x0C, {0x41, 0xFF}))})})), u"CN=A\uFFFD");
    // UniversalString: a code point outside Unicode or a surrogate becomes U+FFFD.
    EXPECT_EQ(
        x500NameText(name({rdn({attribute(kCn, tlv(0x1C, {0x00, 0x01, 0xD1, 0x1E, 0x00, 0x00, 0xD8,
                                                          0x00, 0x00, 0x11, 0x00, 0x00}))})})),
        u"CN=\U0001D11E\uFFFD\uFFFD");
    // An embedded NUL stays: the name is not cut short at it.
    EXPECT_EQ(x500NameText(name({rdn({attribute(kCn, tlv(0x16, {'a', 0x00, 'b'}))})})),
              std::u16string(u"CN=a\0b", 6));
}

TEST(NameText, CommonNameLookup) {
    const Bytes twoCommonNames = name(
        {rdn({attribute(kCn, tlv(0x0C, text("outer")))}),
         rdn({attribute(kOu, tlv(0x0C, text("unit"))), attribute(kCn, tlv(0x0C, text("inner")))})});
    EXPECT_EQ(attributeText(twoCommonNames, nameOids::kCommonName), u"inner");
    EXPECT_EQ(x500NameText(twoCommonNames), u"CN=outer, OU=unit + CN=inner");
    const Bytes noCommonName = name({rdn({attribute(kOu, tlv(0x0C, text("unit")))})});
    EXPECT_EQ(attributeText(noCommonName, nameOids::kCommonName), u"");
    EXPECT_FALSE(isEmptyName(noCommonName));
    EXPECT_TRUE(isEmptyName(name({})));
    EXPECT_EQ(x500NameText(name({})), u"");
}

TEST(NameText, MalformedNamesAreRefused) {
    const Bytes good = name({rdn({attribute(kCn, tlv(0x0C, text("x")))})});
    Bytes trailing = good;
    trailing.push_back(0);
    Bytes cut(good.begin(), good.end() - 1);
    Bytes longLength = good;
    longLength[1] = 0x7F;
    const Bytes notAnOid = name({rdn({attribute(tlv(0x04, {0x55}), tlv(0x0C, text("x")))})});
    const Bytes extraInAttribute =
        name({rdn({tlv(0x30, concat({kCn, tlv(0x0C, text("x")), tlv(0x05, {})}))})});
    const Bytes badOid = name({rdn({attribute(tlv(0x06, {0x80, 0x01}), tlv(0x0C, text("x")))})});
    const Bytes indefinite{0x30, 0x80, 0x00, 0x00};
    for (const Bytes& bad :
         {trailing, cut, longLength, notAnOid, extraInAttribute, badOid, indefinite, Bytes{}}) {
        EXPECT_FALSE(x500NameText(bad).has_value());
        EXPECT_FALSE(attributeText(bad, nameOids::kCommonName).has_value());
        EXPECT_FALSE(isEmptyName(bad));
    }
}

}  // namespace
}  // namespace pennaform::platform
