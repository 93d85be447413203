// The rules the dialogs share: joining and splitting paths, and the
// password range with its two acceptance rules and its label. The
// file-system checks of "確定" are the platform's (FileSystemPosixTest).
#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "platform/FileSystem.h"
#include "ui/dialogs/PasswordRange.h"
#include "ui/dialogs/PathRules.h"

namespace pennaform::test {
namespace {

using ui::PasswordRange;

TEST(PathRules, JoinAddsOneSeparator) {
    EXPECT_EQ(platform::joinPath("/home/u/certs", "a.pfx"), "/home/u/certs/a.pfx");
    EXPECT_EQ(platform::joinPath("/home/u/certs/", "a.pfx"), "/home/u/certs/a.pfx");
    EXPECT_EQ(platform::joinPath("/", "a.pfx"), "/a.pfx");
    EXPECT_EQ(platform::joinPath("", "a.pfx"), "a.pfx");  // the current folder
}

TEST(PathRules, SplitAtTheLastSeparator) {
    auto split = [](std::string_view path) {
        ui::FolderAndName parts = ui::splitPath(path);
        return parts.folder + "|" + parts.name;
    };
    EXPECT_EQ(split("/dir/sub/b.p12"), "/dir/sub|b.p12");
    EXPECT_EQ(split("/dir/a.pfx"), "/dir|a.pfx");
    EXPECT_EQ(split("/a.pfx"), "/|a.pfx");  // a file directly under the root
    EXPECT_EQ(split("a.pfx"), ".|a.pfx");   // no separator: the current folder
    EXPECT_EQ(split("/dir/"), "/dir|");
}

TEST(PasswordRange, NormalisesLikeTheEngineRange) {
    auto range = [](int minimum, int maximum) {
        PasswordRange r = PasswordRange::normalised(minimum, maximum);
        return std::to_string(r.minimum()) + "-" + std::to_string(r.maximum());
    };
    EXPECT_EQ(range(10, 6), "6-10");
    EXPECT_EQ(range(0, 0), "0-16");
    EXPECT_EQ(range(-5, 8), "0-8");
    EXPECT_EQ(range(8, -5), "0-8");  // swapped first
    EXPECT_EQ(range(0, -3), "0-16");
    PasswordRange unset;
    EXPECT_EQ(unset.minimum(), 0);
    EXPECT_EQ(unset.maximum(), 16);
}

TEST(PasswordRange, RuleBAlsoRefusesTheEmptyPassword) {
    PasswordRange open = PasswordRange::normalised(0, 16);
    EXPECT_TRUE(open.acceptsAnyLength(0));
    EXPECT_FALSE(open.acceptsNonEmpty(0));
    EXPECT_TRUE(open.acceptsNonEmpty(1));
    PasswordRange six = PasswordRange::normalised(6, 10);
    EXPECT_FALSE(six.acceptsAnyLength(5));
    EXPECT_TRUE(six.acceptsAnyLength(6));
    EXPECT_FALSE(six.acceptsNonEmpty(5));
    EXPECT_TRUE(six.acceptsNonEmpty(11));  // the maximum limits typing, not acceptance
}

TEST(PasswordRange, RuleLabelShowsAtLeastOne) {
    EXPECT_EQ(PasswordRange().ruleLabel(), "請設定憑證密碼(英文或數字1～16碼)");
    EXPECT_EQ(PasswordRange::normalised(6, 10).ruleLabel(), "請設定憑證密碼(英文或數字6～10碼)");
}

}  // namespace
}  // namespace pennaform::test
