// The process code page: how it is chosen and how text crosses between it
// and UTF-16 without ever failing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/CodePage.h"

namespace pennaform {
namespace {

TEST(CodePageChoice, Big5LocalesGive950AndEverythingElseUtf8) {
    for (const char* name :
         {"zh_TW.Big5", "zh_TW.BIG5", "zh_TW.big5", "zh_TW.CP950", "zh_TW.Big5@euro"}) {
        EXPECT_EQ(CodePage::fromLocaleName(name).number(), 950) << name;
    }
    for (const char* name :
         {"", "C", "POSIX", "zh_TW", "zh_TW.UTF-8", "en_US.utf8", "zh_HK.Big5-HKSCS"}) {
        EXPECT_EQ(CodePage::fromLocaleName(name).number(), 65001) << name;
    }
}

TEST(CodePageChoice, LcAllThenLcCtypeThenLang) {
    struct Restore {
        ~Restore() {
            unsetenv("LC_ALL");
            unsetenv("LC_CTYPE");
            unsetenv("LANG");
        }
    } restore;
    unsetenv("LC_ALL");
    unsetenv("LC_CTYPE");
    unsetenv("LANG");
    EXPECT_EQ(CodePage::fromEnvironment().number(), 65001);
    setenv("LANG", "zh_TW.Big5", 1);
    EXPECT_EQ(CodePage::fromEnvironment().number(), 950);
    setenv("LC_CTYPE", "en_US.UTF-8", 1);
    EXPECT_EQ(CodePage::fromEnvironment().number(), 65001);
    setenv("LC_ALL", "zh_TW.BIG5", 1);
    EXPECT_EQ(CodePage::fromEnvironment().number(), 950);
    setenv("LC_ALL", "", 1);  // an empty variable does not decide
    EXPECT_EQ(CodePage::fromEnvironment().number(), 65001);
}

TEST(CodePageBig5, MessagesRoundTrip) {
    CodePage big5(950);
    EXPECT_EQ(big5.fromUtf8("成功(0)"), "\xA6\xA8\xA5\x5C(0)");
    EXPECT_EQ(big5.toWide("\xA6\xA8\xA5\x5C(0)"), u"成功(0)");
    std::u16string message = u"IE 受保護模式已啟動, 請加入信任網站, 並使用預設保護模式(關閉)(1500)";
    EXPECT_EQ(big5.toWide(big5.toAnsi(message)), message);
}

TEST(CodePageBig5, WhatBig5CannotHoldBecomesAQuestionMark) {
    CodePage big5(950);
    EXPECT_EQ(big5.toAnsi(u"a\u00E9b"), "a?b");
    EXPECT_EQ(big5.toAnsi(u"x\U0001F600y"), "x?y");  // one '?' for the pair
    EXPECT_EQ(big5.toAnsi(std::u16string{u'a', char16_t(0xD800), u'b'}), "a?b");
    EXPECT_EQ(big5.toAnsi(std::u16string{char16_t(0xDC00)}), "?");
    EXPECT_EQ(big5.toWide("a\xFF"
                          "b"),
              u"a?b");
    EXPECT_EQ(big5.toWide("\xA6"), u"?");  // a lead byte cut off
    EXPECT_EQ(big5.toAnsi(u""), "");
    EXPECT_EQ(big5.toWide(""), u"");
}

// Long texts with substitutions at every kind of neighbour: each piece
// converts as it does alone, wherever it falls in the buffer.
TEST(CodePageBig5, ManySubstitutionsKeepEveryByteInPlace) {
    struct Piece {
        std::u16string_view wide;
        std::string_view big5;
    };
    const Piece toAnsiPieces[] = {
        {u"\u00E9", "?"}, {u"成", "\xA6\xA8"}, {u"\U0001F600", "?"}, {u"a", "a"}};
    const Piece toWidePieces[] = {
        {u"?", "\xFF"}, {u"功", "\xA5\x5C"}, {u"b", "b"}, {u"??", "\xFF\xFF"}};
    std::u16string wide, wideBack;
    std::string ansi, ansiBack;
    for (std::size_t i = 0; i < 50000; ++i) {
        // A stride prime to the table's size mixes the pieces' neighbours.
        const Piece& out = toAnsiPieces[(i * 7 + i / 3) % 4];
        wide += out.wide;
        ansi += out.big5;
        const Piece& in = toWidePieces[(i * 5 + i / 7) % 4];
        ansiBack += in.big5;
        wideBack += in.wide;
    }
    CodePage big5(950);
    EXPECT_TRUE(big5.toAnsi(wide) == ansi);
    EXPECT_TRUE(big5.toWide(ansiBack) == wideBack);
}

TEST(CodePageUtf8, SurrogatesAndInvalidBytes) {
    CodePage utf8(65001);
    EXPECT_EQ(utf8.toAnsi(u"成功\U0001F600"), "成功\xF0\x9F\x98\x80");
    EXPECT_EQ(utf8.toAnsi(std::u16string{u'a', char16_t(0xD800), u'b', char16_t(0xDFFF)}), "a?b?");
    EXPECT_EQ(utf8.toWide("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(utf8.toWide("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(utf8.toWide("\xC0\x80"), u"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(utf8.toWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(utf8.toWide("\xE6\x88"), u"\uFFFD\uFFFD");            // cut off
}

TEST(CodePageUtf8, LargeTextConvertsBothWays) {
    std::u16string big(1 << 20, u'成');
    CodePage big5(950);
    EXPECT_EQ(big5.toWide(big5.toAnsi(big)), big);
    CodePage utf8(65001);
    EXPECT_EQ(utf8.toWide(utf8.toAnsi(big)), big);
}

}  // namespace
}  // namespace pennaform
