// Tests of DerBuilder: known encodings (lengths, INTEGER, OBJECT IDENTIFIER,
// strings and times), nesting, SET OF ordering, the sticky failure, reading
// back with DerCursor, and OpenSSL's reading of what the builder writes.
#include "encoding/DerBuilder.h"

#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace pennaform {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes hex(std::string_view text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(std::uint8_t(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

// built: the encoding of what `write` adds to a fresh builder.
std::optional<Bytes> built(const std::function<void(DerScope&)>& write) {
    DerBuilder builder;
    write(builder);
    return builder.finish();
}

TEST(DerBuilderTest, LengthsUseTheShortestDefiniteForm) {
    const struct {
        std::size_t contentLen;
        std::string header;
    } cases[] = {
        {0, "0400"},     {127, "047F"},     {128, "048180"},
        {255, "0481FF"}, {256, "04820100"}, {65536, "0483010000"},
    };
    for (const auto& c : cases) {
        const Bytes contents(c.contentLen, 0xAB);
        std::optional<Bytes> der = built([&](DerScope& s) { s.addPrimitive(0x04, contents); });
        ASSERT_TRUE(der) << c.contentLen;
        const Bytes header = hex(c.header);
        ASSERT_EQ(der->size(), header.size() + c.contentLen) << c.contentLen;
        EXPECT_TRUE(std::equal(header.begin(), header.end(), der->begin())) << c.contentLen;
    }
    // A long child inside a long parent: both lengths are rewritten.
    std::optional<Bytes> nested = built([](DerScope& s) {
        DerScope sequence = s.sequence();
        sequence.addPrimitive(0x04, Bytes(200, 0));
        sequence.close();
    });
    ASSERT_TRUE(nested);
    EXPECT_EQ(Bytes(nested->begin(), nested->begin() + 6), hex("3081CB0481C8"));
}

TEST(DerBuilderTest, IntegersAreMinimalTwosComplement) {
    const struct {
        std::int64_t value;
        std::string der;
    } signedCases[] = {
        {0, "020100"},
        {127, "02017F"},
        {128, "02020080"},
        {256, "02020100"},
        {-1, "0201FF"},
        {-128, "020180"},
        {-129, "0202FF7F"},
        {std::numeric_limits<std::int64_t>::min(), "02088000000000000000"},
        {std::numeric_limits<std::int64_t>::max(), "02087FFFFFFFFFFFFFFF"},
    };
    for (const auto& c : signedCases) {
        EXPECT_EQ(built([&](DerScope& s) { s.addInteger(c.value); }), hex(c.der)) << c.value;
    }
    const struct {
        std::string magnitude;
        std::string der;
    } unsignedCases[] = {
        {"", "020100"},     {"0000", "020100"},   {"000001", "020101"},       {"7F", "02017F"},
        {"80", "02020080"}, {"00FF", "020200FF"}, {"0000C001", "020300C001"},
    };
    for (const auto& c : unsignedCases) {
        const Bytes magnitude = hex(c.magnitude);
        EXPECT_EQ(built([&](DerScope& s) { s.addUnsignedInteger(magnitude); }), hex(c.der))
            << c.magnitude;
    }
}

TEST(DerBuilderTest, ObjectIdentifiersFromDottedText) {
    const struct {
        std::string dotted;
        std::string der;  // empty: the text is refused
    } cases[] = {
        {"1.2.840.113549.1.1.11", "06092A864886F70D01010B"},
        {"2.5.4.3", "0603550403"},
        {"0.0", "060100"},
        {"2.999", "06028837"},
        {"2.999.3", "0603883703"},
        {"2.25.18446744073709551615", "060B6981FFFFFFFFFFFFFFFF7F"},
        {"1", ""},
        {"3.1", ""},
        {"1.40", ""},
        {"1..2", ""},
        {"1.2.", ""},
        {"01.2", ""},
        {"1.2.a", ""},
        {"", ""},
        {"1.2.18446744073709551616", ""},
    };
    for (const auto& c : cases) {
        std::optional<Bytes> der = built([&](DerScope& s) { s.addOid(c.dotted); });
        if (c.der.empty()) {
            EXPECT_FALSE(der) << c.dotted;
        } else {
            EXPECT_EQ(der, hex(c.der)) << c.dotted;
        }
    }
    const struct {
        std::string contents;
        bool valid;
    } contentCases[] = {
        {"2A864886F70D01010B", true}, {"8837", true}, {"", false}, {"8001", false}, {"2A81", false},
    };
    for (const auto& c : contentCases) {
        const Bytes contents = hex(c.contents);
        std::optional<Bytes> der = built([&](DerScope& s) { s.addOidContents(contents); });
        EXPECT_EQ(der.has_value(), c.valid) << c.contents;
    }
}

TEST(DerBuilderTest, StringsTimesAndSimpleTypes) {
    const struct {
        std::string name;
        std::function<void(DerScope&)> write;
        std::string der;  // empty: the value is refused
    } cases[] = {
        {"null", [](DerScope& s) { s.addNull(); }, "0500"},
        {"true", [](DerScope& s) { s.addBoolean(true); }, "0101FF"},
        {"false", [](DerScope& s) { s.addBoolean(false); }, "010100"},
        {"utf8", [](DerScope& s) { s.addUtf8String("\xC3\xA9"); }, "0C02C3A9"},
        {"printable", [](DerScope& s) { s.addPrintableString("A b'=?"); }, "1306412062273D3F"},
        {"printable @", [](DerScope& s) { s.addPrintableString("a@b"); }, ""},
        {"ia5", [](DerScope& s) { s.addIa5String("a@b"); }, "1603614062"},
        {"ia5 8-bit", [](DerScope& s) { s.addIa5String("\xC3\xA9"); }, ""},
        {"utc 2049",
         [](DerScope& s) {
             s.addUtcTime({2049, 12, 31, 23, 59, 59});
         },
         "170D3439313233313233353935395A"},
        {"utc 1950",
         [](DerScope& s) {
             s.addUtcTime({1950, 1, 1, 0, 0, 0});
         },
         "170D3530303130313030303030305A"},
        {"utc 2050",
         [](DerScope& s) {
             s.addUtcTime({2050, 1, 1, 0, 0, 0});
         },
         ""},
        {"generalized",
         [](DerScope& s) {
             s.addGeneralizedTime({2050, 2, 28, 8, 5, 0});
         },
         "180F32303530303232383038303530305A"},
        {"generalized leap",
         [](DerScope& s) {
             s.addGeneralizedTime({2024, 2, 29, 0, 0, 0});
         },
         "180F32303234303232393030303030305A"},
        {"not leap",
         [](DerScope& s) {
             s.addGeneralizedTime({2023, 2, 29, 0, 0, 0});
         },
         ""},
        {"hour 24",
         [](DerScope& s) {
             s.addGeneralizedTime({2023, 1, 1, 24, 0, 0});
         },
         ""},
    };
    for (const auto& c : cases) {
        std::optional<Bytes> der = built(c.write);
        if (c.der.empty()) {
            EXPECT_FALSE(der) << c.name;
        } else {
            EXPECT_EQ(der, hex(c.der)) << c.name;
        }
    }
}

TEST(DerBuilderTest, ChildScopesNestAndWrap) {
    std::optional<Bytes> der = built([](DerScope& s) {
        DerScope top = s.sequence();
        top.addInteger(1);
        DerScope explicitTag = top.contextConstructed(0);
        explicitTag.addNull();
        explicitTag.close();
        DerScope implicitTag = top.contextPrimitive(2);
        implicitTag.addRaw(hex("ABCD"));
        implicitTag.close();
        DerScope bits = top.bitString();
        bits.sequence().close();
        bits.close();
        DerScope octets = top.octetString();
        octets.addBoolean(true);
        octets.close();
        top.close();
        s.addElement(hex("0500"));
    });
    EXPECT_EQ(der, hex("3015"
                       "020101"
                       "A0020500"
                       "8202ABCD"
                       "0303003000"
                       "04030101FF"
                       "0500"));
}

TEST(DerBuilderTest, SetOfIsSortedAndSetKeepsItsOrder) {
    auto write = [](DerScope set) {
        set.addInteger(3).addPrimitive(0x04, {}).addInteger(1).addInteger(256);
        set.addElement(hex("020101"));
        set.close();
    };
    EXPECT_EQ(built([&](DerScope& s) { write(s.setOf()); }), hex("310F"
                                                                 "020101"
                                                                 "020101"
                                                                 "020103"
                                                                 "02020100"
                                                                 "0400"));
    EXPECT_EQ(built([&](DerScope& s) { write(s.set()); }), hex("310F"
                                                               "020103"
                                                               "0400"
                                                               "020101"
                                                               "02020100"
                                                               "020101"));
    // A prefix sorts first (X.690 pads the shorter encoding with zeros).
    EXPECT_EQ(built([](DerScope& s) {
                  DerScope set = s.setOf();
                  set.addPrimitive(0x04, hex("0000")).addPrimitive(0x04, hex("00"));
                  set.close();
              }),
              hex("3107"
                  "040100"
                  "04020000"));
}

TEST(DerBuilderTest, AFailureSticksUntilFinish) {
    const struct {
        std::string name;
        std::function<void(DerBuilder&)> misuse;
    } cases[] = {
        {"write to the parent while a child is open",
         [](DerBuilder& b) {
             DerScope child = b.sequence();
             b.addNull();
             child.close();
         }},
        {"write to a closed child",
         [](DerBuilder& b) {
             DerScope child = b.sequence();
             child.close();
             child.addNull();
         }},
        {"closed child handle after a new sibling opens",
         [](DerBuilder& b) {
             DerScope first = b.sequence();
             first.close();
             DerScope second = b.sequence();
             first.addNull();
             second.close();
         }},
        {"close twice",
         [](DerBuilder& b) {
             DerScope child = b.sequence();
             child.close();
             child.close();
         }},
        {"close the parent before its child",
         [](DerBuilder& b) {
             DerScope parent = b.sequence();
             DerScope child = parent.sequence();
             parent.close();
             child.close();
         }},
        {"close the builder", [](DerBuilder& b) { b.close(); }},
        {"bad value then good writes",
         [](DerBuilder& b) {
             b.addOid("1.40");
             b.addNull().addInteger(5);
         }},
        {"raw element with bytes after it", [](DerBuilder& b) { b.addElement(hex("050000")); }},
        {"raw element cut short", [](DerBuilder& b) { b.addElement(hex("0402AA")); }},
        {"primitive with the constructed bit", [](DerBuilder& b) { b.addPrimitive(0x30, {}); }},
        {"high tag number", [](DerBuilder& b) { b.child(0x1F).close(); }},
        {"context tag 31", [](DerBuilder& b) { b.contextConstructed(31).close(); }},
        {"set of over bytes that are not elements",
         [](DerBuilder& b) {
             DerScope set = b.setOf();
             set.addRaw(hex("0205"));
             set.close();
         }},
    };
    for (const auto& c : cases) {
        DerBuilder builder;
        c.misuse(builder);
        EXPECT_FALSE(builder.ok()) << c.name;
        EXPECT_FALSE(builder.finish()) << c.name;
    }
    // A child left open is found at finish.
    DerBuilder unclosed;
    unclosed.sequence().addNull();
    EXPECT_FALSE(unclosed.finish());

    DerBuilder builder;
    builder.addNull();
    EXPECT_TRUE(builder.finish());
    EXPECT_FALSE(builder.finish()) << "a spent builder";
}

TEST(DerBuilderTest, DerCursorReadsBackWhatWasBuilt) {
    DerBuilder builder;
    DerScope top = builder.sequence();
    top.addInteger(-129).addOid("2.999");
    DerScope name = top.sequence();
    DerScope rdn = name.setOf();
    rdn.sequence().addOid("2.5.4.3").addUtf8String(std::string(300, 'x')).close();
    rdn.close();
    name.close();
    top.close();
    std::optional<Bytes> der = builder.finish();
    ASSERT_TRUE(der);

    DerCursor outer(*der);
    std::optional<DerCursor> sequence = outer.readNested(derTags::kSequence);
    ASSERT_TRUE(sequence && outer.empty());
    std::optional<DerElement> integer = sequence->read(derTags::kInteger);
    ASSERT_TRUE(integer);
    EXPECT_EQ(Bytes(integer->contents.begin(), integer->contents.end()), hex("FF7F"));
    ASSERT_TRUE(sequence->read(derTags::kOid));
    std::optional<DerCursor> rdns = sequence->readNested(derTags::kSequence);
    ASSERT_TRUE(rdns && sequence->empty());
    std::optional<DerCursor> set = rdns->readNested(derTags::kSet);
    ASSERT_TRUE(set && rdns->empty());
    std::optional<DerCursor> atv = set->readNested(derTags::kSequence);
    ASSERT_TRUE(atv && set->empty());
    ASSERT_TRUE(atv->read(derTags::kOid));
    std::optional<DerElement> value = atv->read(derTags::kUtf8String);
    ASSERT_TRUE(value && atv->empty());
    EXPECT_EQ(value->contents.size(), 300u);
}

// OpenSSL reads the builder's encodings as the types they stand for.
TEST(DerBuilderTest, OpenSslReadsWhatWasBuilt) {
    for (std::int64_t value :
         {std::int64_t(0), std::int64_t(127), std::int64_t(128), std::int64_t(-1),
          std::int64_t(-129), std::int64_t(1) << 40, std::numeric_limits<std::int64_t>::min()}) {
        const Bytes der = *built([&](DerScope& s) { s.addInteger(value); });
        const unsigned char* p = der.data();
        std::unique_ptr<ASN1_INTEGER, decltype(&ASN1_INTEGER_free)> integer(
            d2i_ASN1_INTEGER(nullptr, &p, long(der.size())), &ASN1_INTEGER_free);
        ASSERT_TRUE(integer) << value;
        std::int64_t read = 0;
        ASSERT_EQ(ASN1_INTEGER_get_int64(&read, integer.get()), 1) << value;
        EXPECT_EQ(read, value);
    }
    for (std::string dotted : {"1.2.840.113549.1.1.11", "2.999.1", "1.3.6.1.4.1.311.2.1.21",
                               "2.25.18446744073709551615"}) {
        const std::optional<Bytes> der = built([&](DerScope& s) { s.addOid(dotted); });
        ASSERT_TRUE(der) << dotted;
        const unsigned char* p = der->data();
        std::unique_ptr<ASN1_OBJECT, decltype(&ASN1_OBJECT_free)> object(
            d2i_ASN1_OBJECT(nullptr, &p, long(der->size())), &ASN1_OBJECT_free);
        ASSERT_TRUE(object) << dotted;
        char text[128] = {};
        OBJ_obj2txt(text, sizeof text, object.get(), 1);
        EXPECT_EQ(std::string(text), dotted);
    }

    // Name ::= SEQUENCE OF SET OF AttributeTypeAndValue (RFC 5280 §4.1.2.4),
    // one multi-valued RDN among them, whose SET OF is sorted (O before CN).
    DerBuilder builder;
    DerScope name = builder.sequence();
    DerScope country = name.setOf();
    country.sequence().addOid("2.5.4.6").addPrintableString("TW").close();
    country.close();
    DerScope rdn = name.setOf();
    rdn.sequence().addOid("2.5.4.3").addUtf8String("Pennaform Test").close();
    rdn.sequence().addOid("2.5.4.10").addUtf8String("Org").close();
    rdn.close();
    name.close();
    std::optional<Bytes> der = builder.finish();
    ASSERT_TRUE(der);
    const unsigned char* p = der->data();
    std::unique_ptr<X509_NAME, decltype(&X509_NAME_free)> x509Name(
        d2i_X509_NAME(nullptr, &p, long(der->size())), &X509_NAME_free);
    ASSERT_TRUE(x509Name);
    EXPECT_EQ(p, der->data() + der->size());
    char text[256] = {};
    X509_NAME_oneline(x509Name.get(), text, sizeof text);
    EXPECT_STREQ(text, "/C=TW/O=Org+CN=Pennaform Test");
    ASSERT_EQ(X509_NAME_entry_count(x509Name.get()), 3);
    EXPECT_EQ(X509_NAME_ENTRY_set(X509_NAME_get_entry(x509Name.get(), 1)),
              X509_NAME_ENTRY_set(X509_NAME_get_entry(x509Name.get(), 2)));
    EXPECT_NE(X509_NAME_ENTRY_set(X509_NAME_get_entry(x509Name.get(), 0)),
              X509_NAME_ENTRY_set(X509_NAME_get_entry(x509Name.get(), 1)));

    const Bytes time = *built([](DerScope& s) { s.addUtcTime({2030, 6, 15, 12, 30, 45}); });
    p = time.data();
    std::unique_ptr<ASN1_TIME, decltype(&ASN1_TIME_free)> asn1Time(
        d2i_ASN1_TIME(nullptr, &p, long(time.size())), &ASN1_TIME_free);
    ASSERT_TRUE(asn1Time);
    std::tm fields{};
    ASSERT_EQ(ASN1_TIME_to_tm(asn1Time.get(), &fields), 1);
    EXPECT_EQ(fields.tm_year, 130);
    EXPECT_EQ(fields.tm_mon, 5);
    EXPECT_EQ(fields.tm_sec, 45);
}

}  // namespace
}  // namespace pennaform
