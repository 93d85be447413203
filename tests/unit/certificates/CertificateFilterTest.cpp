// The filter language on texts alone: how a filter string becomes
// alternatives of criteria, how names become items, and how the two kinds of
// comparison judge criteria against items.
#include "certificates/CertificateFilter.h"

#include <gtest/gtest.h>

#include "certificates/CriteriaMatch.h"
#include "certificates/MultibyteText.h"

namespace pennaform::signing {
namespace {

using Items = std::vector<std::string>;

const CodePage kUtf8(CodePage::kUtf8);
const CodePage kBig5(CodePage::kBig5);

CertificateFilter parse(std::string_view filter) {
    return CertificateFilter::parse(filter, kUtf8);
}

TEST(CertificateFilter, AlternativesAndTheirCriteria) {
    const CertificateFilter filter = parse("S_CN=Wang,S_O=Example Bank//I_CN=Test CA");
    ASSERT_EQ(filter.alternatives.size(), 2u);
    EXPECT_EQ(filter.alternatives[0].subjectCriteria, (Items{"CN=Wang", "O=Example Bank"}));
    EXPECT_TRUE(filter.alternatives[0].issuerCriteria.empty());
    EXPECT_TRUE(filter.alternatives[1].subjectCriteria.empty());
    EXPECT_EQ(filter.alternatives[1].issuerCriteria, (Items{"CN=Test CA"}));
}

TEST(CertificateFilter, ShortFiltersAndShortAlternativesImposeNothing) {
    for (std::string_view text : {"", "S", "S_C", "abc", "//", "////", "abc//xyz", "//S_C//"}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(parse(text).alternatives.empty());
    }
    // Doubled and trailing separators leave only the long pieces.
    const CertificateFilter filter = parse("S_CN=A////S_CN=B//");
    ASSERT_EQ(filter.alternatives.size(), 2u);
    EXPECT_EQ(filter.alternatives[1].subjectCriteria, (Items{"CN=B"}));
    // Four bytes without criteria are an alternative that any name meets.
    ASSERT_EQ(parse("abcd").alternatives.size(), 1u);
    EXPECT_TRUE(parse("abcd").alternatives[0].subjectCriteria.empty());
}

TEST(CertificateFilter, SpacesAroundEqualsAndCommasInsideValues) {
    EXPECT_EQ(parse("S_O = Example Bank").alternatives.at(0).subjectCriteria,
              (Items{"O=Example Bank"}));
    EXPECT_EQ(parse("S_O=Example Bank, Taipei").alternatives.at(0).subjectCriteria,
              (Items{"O=Example Bank, Taipei"}));
    // Only one space on each side goes; the rest stays inside the item.
    EXPECT_EQ(parse("S_O  =  Bank").alternatives.at(0).subjectCriteria, (Items{"O = Bank"}));
    EXPECT_EQ(parse("S_CN=A,,,S_O=B,").alternatives.at(0).subjectCriteria, (Items{"CN=A", "O=B"}));
}

TEST(CertificateFilter, LineBreaksSeparateItems) {
    const Items expected{"CN=Wang", "O=Bank", "C=TW"};
    EXPECT_EQ(parse("S_CN=Wang\\nS_O=Bank\\nS_C=TW").alternatives.at(0).subjectCriteria, expected);
    EXPECT_EQ(parse("S_CN=Wang\r\nS_O=Bank\nS_C=TW").alternatives.at(0).subjectCriteria, expected);
}

TEST(CertificateFilter, OnlyExactPrefixesCount) {
    const CertificateFilter filter = parse("s_CN=a,S_CN=b,i_O=c,I_O=d,X_C=e,S_E=f@g");
    ASSERT_EQ(filter.alternatives.size(), 1u);
    EXPECT_EQ(filter.alternatives[0].subjectCriteria, (Items{"CN=b", "E=f@g"}));
    EXPECT_EQ(filter.alternatives[0].issuerCriteria, (Items{"O=d"}));
}

TEST(CertificateFilter, Big5TrailBytesAreNotBackslashes) {
    // 功 is A5 5C in Big5: its second byte followed by 'n' is no line break.
    const std::string value = "\xA5\x5Cn";
    const CertificateFilter big5 = CertificateFilter::parse("S_O=" + value, kBig5);
    EXPECT_EQ(big5.alternatives.at(0).subjectCriteria, (Items{"O=" + value}));
    EXPECT_EQ(replaceAll("a\\nb", "\\n", ",", kBig5), "a,b");
}

TEST(SplitItems, NamesAsTheyAreRendered) {
    EXPECT_EQ(splitItems("C=TW, O=Example Bank, Taipei, OU=Retail + CN=Wang, E=w@x.tw"),
              (Items{"C=TW", "O=Example Bank, Taipei", "OU=Retail + CN=Wang", "E=w@x.tw"}));
    // A piece with '=' first, or none, continues the item before it.
    EXPECT_EQ(splitItems("=a,O=b,=c,d"), (Items{"=a", "O=b,=c,d"}));
    // Blank pieces join like any others; only an item blank after trimming
    // is dropped.
    EXPECT_EQ(splitItems(" , ,"), Items{","});
    EXPECT_EQ(splitItems(" "), Items{});
    EXPECT_EQ(splitItems(""), Items{});
}

TEST(MultibyteText, MatchesStartOnCharacterBoundaries) {
    // In Big5 the bytes A4 41 are one character: "A" is not inside it.
    EXPECT_EQ(findText("\xA4\x41", "A", 0, kBig5), std::string_view::npos);
    EXPECT_EQ(findText("\xA4\x41", "A", 0, kUtf8), 1u);
    EXPECT_EQ(findText("x\xA4\x41"
                       "A",
                       "A", 0, kBig5),
              3u);
    EXPECT_TRUE(equalsIgnoringCase("SN=0a1B", "sn=0A1b", kUtf8));
    EXPECT_FALSE(equalsIgnoringCase("\xA4\x41", "\xA4\x61", kBig5));
    EXPECT_FALSE(equalsIgnoringCase("SN=0A", "SN=0A0", kUtf8));
}

const Items kWangSubject{"C=TW", "O=Example Bank", "OU=Retail", "CN=Wang", "SN=0A1B"};

bool nameDriven(const Items& criteria, const Items& fields = kWangSubject) {
    return matchesNameDriven(criteria, fields, NameSide::kSubject, kUtf8);
}
bool itemMode(const Items& criteria, const Items& fields = kWangSubject) {
    return matchesItemMode(criteria, fields, kUtf8);
}

TEST(NameDriven, EveryCountryOrganisationUnitAndNameMustBeNamed) {
    EXPECT_TRUE(nameDriven({}));
    EXPECT_FALSE(nameDriven({"CN=Wang"}));
    EXPECT_FALSE(nameDriven({"C=TW", "O=Example Bank", "CN=Wa"}));
    EXPECT_TRUE(nameDriven({"C=TW", "O=Example Bank", "OU=Retail", "CN=Wa"}));
    EXPECT_TRUE(nameDriven({"CN=Wa", "OU=Retail", "O=Example Bank", "C=TW", "E=x@y", "L=Taipei"}));
    EXPECT_FALSE(nameDriven({"C=TW", "O=Example", "OU=Retail", "CN=Wang"}));
    EXPECT_FALSE(nameDriven({"CN=Wang"}, {}));
    // A name with none of the compared kinds is met by nothing.
    EXPECT_FALSE(nameDriven({"CN=Wang"}, {"E=w@x.tw", "SN=01"}));
}

TEST(NameDriven, IssuerCommonNamesAreComparedExactly) {
    const Items issuer{"C=TW", "CN=Test CA"};
    EXPECT_TRUE(matchesNameDriven({"C=TW", "CN=Test CA"}, issuer, NameSide::kIssuer, kUtf8));
    EXPECT_FALSE(matchesNameDriven({"C=TW", "CN=Test"}, issuer, NameSide::kIssuer, kUtf8));
    EXPECT_TRUE(matchesNameDriven({"C=TW", "CN=Test"}, issuer, NameSide::kSubject, kUtf8));
}

TEST(NameDriven, CommonNamesAreMetByTheirValueOnly) {
    const Items chen{"CN=Chen"};
    EXPECT_TRUE(nameDriven({"CN=C"}, chen));
    EXPECT_TRUE(nameDriven({"CN=hen"}, chen));
    EXPECT_FALSE(nameDriven({"CN=N"}, chen));
    EXPECT_FALSE(nameDriven({"CN=="}, chen));
    EXPECT_FALSE(nameDriven({"CN="}, chen));
    EXPECT_FALSE(nameDriven({"OU=CN=Chen"}, chen));
}

TEST(ItemMode, EachKindOfCriterion) {
    EXPECT_TRUE(itemMode({}));
    EXPECT_TRUE(itemMode({"CN=Wang"}));
    EXPECT_TRUE(itemMode({"CN=an"}));
    EXPECT_TRUE(itemMode({"O=Example%"}));
    EXPECT_TRUE(itemMode({"O=%Bank"}));
    EXPECT_TRUE(itemMode({"O=%"}));
    EXPECT_FALSE(itemMode({"O=Example"}));
    EXPECT_TRUE(itemMode({"O=Example Bank", "OU=Ret%", "C=TW"}));
    EXPECT_FALSE(itemMode({"OU=Retail", "C=US"}));
    EXPECT_TRUE(itemMode({"SN=0a1b"}));
    EXPECT_FALSE(itemMode({"SN=0A1"}));
    // Criteria of kinds not compared: alone they never succeed, beside
    // others they change nothing.
    EXPECT_FALSE(itemMode({"E=wang@example.com"}));
    EXPECT_TRUE(itemMode({"CN=Wang", "E=wang@example.com"}));
    EXPECT_FALSE(itemMode({"CN=Wang"}, {}));
}

TEST(ItemMode, ContainmentLooksOnlyAfterTheKey) {
    EXPECT_FALSE(itemMode({"CN=N"}));
    EXPECT_FALSE(itemMode({"O=%O%"}, {"O=Bank"}));
    // A multi-valued part: the unit's value is not the common name's.
    const Items multiValued{"OU=Wang + CN=Li"};
    EXPECT_FALSE(itemMode({"CN=Wang"}, multiValued));
    EXPECT_TRUE(itemMode({"CN=Li"}, multiValued));
    EXPECT_FALSE(itemMode({"CN=%"}, multiValued));
}

}  // namespace
}  // namespace pennaform::signing
