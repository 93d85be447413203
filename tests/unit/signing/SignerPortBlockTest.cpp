// The signer port's block: the primitives with their errors, the layout
// they write, and damaged blocks that are read bounded and cut back.
#include "signing/SignerPortBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace pennaform::signing {
namespace {

using platform::Bytes;
namespace errors = platform::errors;

Bytes block(std::size_t size = 20480) {
    Bytes bytes(size);
    formatBlock(bytes);
    return bytes;
}

std::uint32_t word(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           std::uint32_t(bytes[at + 3]) << 24;
}

Bytes value(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

bool zeroFrom(const Bytes& bytes, std::size_t at) {
    return std::all_of(bytes.begin() + std::ptrdiff_t(at), bytes.end(),
                       [](auto b) { return b == 0; });
}

TEST(SignerPortBlock, AddWritesTheLayoutAndEachPrimitiveGivesItsError) {
    Bytes b = block();
    ASSERT_TRUE(portAdd(b, u"signerMedia", Bytes{1, 0, 0, 0}));
    ASSERT_TRUE(portAdd(b, u"k2", value("abc")));
    EXPECT_EQ(word(b, 0), 2u);
    EXPECT_EQ(word(b, 4), 20480u);
    EXPECT_EQ(b[8], 's');
    EXPECT_EQ(b[9], 0);
    EXPECT_EQ(b[8 + 22], 0);  // the terminator after 11 characters
    EXPECT_EQ(word(b, 8 + 80), 4u);
    EXPECT_EQ(b[8 + 84], 1);
    EXPECT_EQ(b[96], 'k');  // the second entry right after the first value
    EXPECT_EQ(word(b, 96 + 80), 3u);
    EXPECT_TRUE(zeroFrom(b, 96 + 84 + 3));

    const std::u16string key39(39, u'x'), key40(40, u'x');
    Bytes big(20480 - 8 - 84 - 84 - 4 - 84 - 3 + 1);
    std::uint8_t buffer[3];
    struct Case {
        const char* what;
        platform::PlatformError error;
        platform::PlatformError expected;
    } cases[] = {
        {"40-character key", portAdd(b, key40, value("v")).error(), errors::kRpcSStringTooLong},
        {"existing key", portAdd(b, u"k2", value("v")).error(), errors::kErrorAlreadyExists},
        {"empty value", portAdd(b, u"new", {}).error(), errors::kErrorBadLength},
        {"past the end", portAdd(b, u"big", big).error(), errors::kErrorOutOfMemory},
        {"update empty", portUpdate(b, u"k2", {}).error(), errors::kErrorBadLength},
        {"update absent", portUpdate(b, u"none", value("v")).error(), errors::kErrorFileNotFound},
        {"update longer", portUpdate(b, u"k2", value("abcd")).error(),
         errors::kErrorNotEnoughMemory},
        {"remove absent", portRemove(b, u"none").error(), errors::kErrorFileNotFound},
        {"get absent", portGet(b, u"none", std::nullopt).error(), errors::kErrorFileNotFound},
        {"small buffer", portGet(b, u"signerMedia", std::span(buffer)).error(),
         errors::kErrorInsufficientBuffer},
        {"case differs", portGet(b, u"K2", std::nullopt).error(), errors::kErrorFileNotFound},
    };
    for (const Case& c : cases) EXPECT_EQ(c.error, c.expected) << c.what;
    EXPECT_EQ(*portGet(b, u"k2", std::nullopt), 3u);
    EXPECT_TRUE(portAdd(b, key39, value("v")));
    EXPECT_EQ(walkEntries(b).end, 183u + 85u);
    EXPECT_TRUE(portAdd(b, u"fits", Bytes(20480 - 183 - 85 - 84, 7)));  // exactly to the end
}

TEST(SignerPortBlock, UpdateKeepsTheStoredLengthAndRemoveLeavesZeros) {
    Bytes b = block(512);
    ASSERT_TRUE(portAdd(b, u"a", value("12345")));
    ASSERT_TRUE(portAdd(b, u"b", value("xyz")));
    ASSERT_TRUE(portUpdate(b, u"a", value("98")));
    std::uint8_t out[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(*portGet(b, u"a", std::span(out)), 5u);
    EXPECT_EQ(Bytes(out, out + 6), (Bytes{'9', '8', 0, 0, 0, 0xFF}));
    // A longer value is refused and leaves the old bytes.
    EXPECT_FALSE(portUpdate(b, u"b", value("wxyz")));
    ASSERT_EQ(*portGet(b, u"b", std::span(out)), 3u);
    EXPECT_EQ(Bytes(out, out + 3), value("xyz"));

    ASSERT_TRUE(portRemove(b, u"a"));
    EXPECT_EQ(word(b, 0), 1u);
    EXPECT_EQ(b[8], 'b');  // moved down over the removed entry
    ASSERT_TRUE(portRemove(b, u"b"));
    EXPECT_EQ(word(b, 0), 0u);
    EXPECT_TRUE(zeroFrom(b, 8));
    EXPECT_EQ(portRemove(b, u"b").error(), errors::kErrorFileNotFound);
}

TEST(SignerPortBlock, DamagedBlocksReadBoundedAndAreCutBackBeforeAWrite) {
    // Entries "a" = "1" (bytes 8..93) and "b" = "22" (93..179), then damage.
    struct Damage {
        const char* what;
        void (*apply)(Bytes&);
        std::size_t entriesLeft;
    } damages[] = {
        {"key without terminator", [](Bytes& b) { std::fill_n(b.begin() + 93, 80, 'k'); }, 1},
        {"length past the end", [](Bytes& b) { b[93 + 80 + 3] = 0x7F; }, 1},
        {"absurd count", [](Bytes& b) { b[0] = 0xFF, b[1] = 0xFF, b[2] = 0xFF, b[3] = 0xFF; }, 2},
        {"stored size beyond the span is no licence",
         [](Bytes& b) { b[4] = 0xFF, b[5] = 0xFF, b[6] = 0xFF, b[7] = 0x7F, b[173] = 200; }, 1},
        {"bytes left past the last entry", [](Bytes& b) { b[299] = 1; }, 2},
    };
    for (const Damage& damage : damages) {
        Bytes b = block(300);
        ASSERT_TRUE(portAdd(b, u"a", value("1")));
        ASSERT_TRUE(portAdd(b, u"b", value("22")));
        damage.apply(b);
        BlockWalk walk = walkEntries(b);
        EXPECT_TRUE(walk.damaged) << damage.what;
        ASSERT_EQ(walk.entries.size(), damage.entriesLeft) << damage.what;
        EXPECT_EQ(*portGet(b, u"a", std::nullopt), 1u) << damage.what;
        EXPECT_EQ(portGet(b, u"b", std::nullopt).ok(), damage.entriesLeft == 2) << damage.what;

        ASSERT_TRUE(portAdd(b, u"c", value("3"))) << damage.what;
        EXPECT_EQ(word(b, 0), damage.entriesLeft + 1) << damage.what;
        EXPECT_EQ(word(b, 4), 300u) << damage.what;
        EXPECT_TRUE(zeroFrom(b, walk.end + 85)) << damage.what;
        EXPECT_FALSE(walkEntries(b).damaged) << damage.what;
    }
    // Blocks too small for a header, or sized 0 in their header, hold nothing.
    for (std::size_t size : {0u, 3u, 8u}) {
        Bytes tiny(size, 0xFF);
        EXPECT_TRUE(walkEntries(tiny).entries.empty()) << size;
        EXPECT_FALSE(portAdd(tiny, u"a", value("1"))) << size;
    }
}

}  // namespace
}  // namespace pennaform::signing
