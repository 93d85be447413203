// SecretBytes and SecretText: what they hold through growth, reassignment
// and moves, and the wiping their storage goes through.
#include "platform/SecretBytes.h"
#include "platform/SecretText.h"

#include <gtest/gtest.h>

#include <array>
#include <type_traits>

namespace pennaform::platform {
namespace {

Bytes contentOf(const SecretBytes& secret) {
    return Bytes(secret.view().begin(), secret.view().end());
}

static_assert(!std::is_copy_constructible_v<SecretBytes> &&
              !std::is_copy_assignable_v<SecretBytes>);
static_assert(std::is_nothrow_move_constructible_v<SecretBytes>);

TEST(SecretBytes, KeepsItsBytesThroughGrowthAndMoves) {
    Bytes source{1, 2, 3};
    SecretBytes secret(std::move(source));
    EXPECT_EQ(contentOf(secret), (Bytes{1, 2, 3}));

    // Many appends move the bytes to larger blocks; the content stays whole.
    for (std::uint8_t i = 0; i < 200; ++i) secret.append(Bytes{i});
    std::span<std::uint8_t> slot = secret.grow(2);
    slot[0] = 0xAA;
    slot[1] = 0xBB;
    ASSERT_EQ(secret.size(), 205u);
    EXPECT_EQ(secret.view()[3], 0);
    EXPECT_EQ(secret.view()[202], 199);
    EXPECT_EQ(secret.view()[204], 0xBB);

    SecretBytes moved(std::move(secret));
    EXPECT_EQ(moved.size(), 205u);
    SecretBytes other = SecretBytes::copyOf(Bytes{9});
    other = std::move(moved);
    EXPECT_EQ(other.size(), 205u);
    other.clear();
    EXPECT_TRUE(other.empty());
}

TEST(SecretBytes, WipesTheVectorItTakesItsBytesFrom) {
    Bytes source{7, 7, 7, 7};
    SecretBytes secret(std::move(source));
    EXPECT_EQ(contentOf(secret), (Bytes{7, 7, 7, 7}));
    // The constructor copied the bytes out and zeroed them where they were.
    EXPECT_EQ(source, (Bytes{0, 0, 0, 0}));  // NOLINT(bugprone-use-after-move)

    std::array<std::uint8_t, 8> block{1, 2, 3, 4, 5, 6, 7, 8};
    wipeMemory(block.data(), block.size());
    EXPECT_EQ(block, (std::array<std::uint8_t, 8>{}));
}

TEST(SecretText, HoldsItsTextThroughReassignmentAndMoves) {
    static_assert(!std::is_copy_constructible_v<SecretText>);
    SecretText text(std::string_view("short"));
    EXPECT_EQ(text.view(), "short");
    const std::string longer(100, 'p');
    text.assign(longer);  // from the object's own buffer to an allocated one
    EXPECT_EQ(text.view(), longer);
    SecretText moved(std::move(text));
    EXPECT_EQ(moved.view(), longer);
    EXPECT_TRUE(text.empty());  // NOLINT(bugprone-use-after-move)
    SecretText16 wide(std::u16string_view(u"\u5bc6\u78bc"));
    wide = SecretText16(std::u16string_view(u"x"));
    EXPECT_EQ(wide.view(), u"x");
    moved.clear();
    EXPECT_TRUE(moved.empty());
}

}  // namespace
}  // namespace pennaform::platform
