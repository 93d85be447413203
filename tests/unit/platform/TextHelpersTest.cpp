// The small text helpers every layer shares: ASCII case folding, UTF-16LE
// bytes, upper-case hex, and the table of provider names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/HexText.h"
#include "platform/ProviderNames.h"
#include "platform/Utf16Le.h"

namespace pennaform {
namespace {

TEST(AsciiCase, OnlyAsciiLettersChangeWhateverTheUnit) {
    // Every byte: letters move by 0x20, nothing else moves (0xC4 'Ä' and
    // 0xE4 'ä' in Latin-1, Big5 trail bytes such as 0x5C and 0x7A included).
    for (int b = 0; b < 256; ++b) {
        const char c = char(b);
        const bool upper = b >= 'A' && b <= 'Z', lower = b >= 'a' && b <= 'z';
        EXPECT_EQ(asciiLower(c), upper ? char(b + 0x20) : c) << b;
        EXPECT_EQ(asciiUpper(c), lower ? char(b - 0x20) : c) << b;
    }
    EXPECT_EQ(asciiUpper(u'ä'), u'ä');
    EXPECT_EQ(asciiUpper(u'q'), u'Q');
    EXPECT_EQ(asciiLowered("UTF-8 \xC4"), "utf-8 \xC4");
    EXPECT_EQ(asciiUppered("big5-hkscs"), "BIG5-HKSCS");
    EXPECT_TRUE(equalIgnoringAsciiCase("Microsoft Strong", "MICROSOFT strong"));
    EXPECT_FALSE(equalIgnoringAsciiCase("\xC4", "\xE4"));
    EXPECT_FALSE(equalIgnoringAsciiCase("ab", "abc"));
}

TEST(Utf16Le, UnitsLowByteFirstAndBack) {
    const std::u16string text(u"A\0\u8A31\U0001F600", 5);
    const std::vector<std::uint8_t> bytes = utf16LeBytes(text);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x41, 0x00, 0x00, 0x00, 0x31, 0x8A, 0x3D, 0xD8,
                                                0x00, 0xDE}));
    EXPECT_EQ(utf16LeUnits(bytes), text);
    std::vector<std::uint8_t> odd = bytes;
    odd.push_back(0x42);  // half a unit: left out
    EXPECT_EQ(utf16LeUnits(odd), text);
    EXPECT_TRUE(utf16LeBytes(u"").empty());
    EXPECT_TRUE(utf16LeUnits(std::vector<std::uint8_t>{0x41}).empty());
}

TEST(HexText, TwoUpperCaseDigitsPerByte) {
    const std::vector<std::uint8_t> bytes{0x00, 0x0F, 0xA5, 0xFF};
    EXPECT_EQ(upperHex(bytes), "000FA5FF");
    EXPECT_EQ(upperHex({}), "");
    std::string mac = "mac ";
    appendUpperHex(mac, bytes, '-');
    EXPECT_EQ(mac, "mac 00-0F-A5-FF");
    std::u16string wide = u"#";
    appendUpperHex(wide, bytes);
    EXPECT_EQ(wide, u"#000FA5FF");
}

TEST(ProviderNames, FiveProvidersInWindowsEnumerationOrder) {
    using platform::kSoftwareProviders;
    ASSERT_EQ(std::size(kSoftwareProviders), 5u);
    for (std::size_t i = 1; i < std::size(kSoftwareProviders); ++i) {
        EXPECT_LT(asciiUppered(kSoftwareProviders[i - 1].name),
                  asciiUppered(kSoftwareProviders[i].name));
    }
    for (const platform::ProviderName& p : kSoftwareProviders) {
        const bool aes = p.name.find("AES") != std::string_view::npos;
        EXPECT_EQ(p.type,
                  aes ? platform::providerTypes::kRsaAes : platform::providerTypes::kRsaFull)
            << p.name;
    }
}

}  // namespace
}  // namespace pennaform
