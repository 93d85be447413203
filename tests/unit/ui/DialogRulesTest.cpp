// The rules the dialogs share: joining and splitting paths, the password
// range with its two acceptance rules and its label, and the file-system
// checks of "確定".
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "RecordingHost.h"
#include "ui/dialogs/FileChecks.h"
#include "ui/dialogs/PasswordRange.h"
#include "ui/dialogs/PathRules.h"

namespace pennaform::test {
namespace {

using ui::PasswordRange;

TEST(PathRules, ComposeAddsOneSeparator) {
    EXPECT_EQ(ui::composePath("/home/u/certs", "a.pfx"), "/home/u/certs/a.pfx");
    EXPECT_EQ(ui::composePath("/home/u/certs/", "a.pfx"), "/home/u/certs/a.pfx");
    EXPECT_EQ(ui::composePath("/", "a.pfx"), "/a.pfx");
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

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::size_t entriesIn(const std::string& folder) {
    auto entries = std::filesystem::directory_iterator(folder);
    return std::size_t(std::distance(begin(entries), end(entries)));
}

TEST(FileChecks, TheWriteProbeNeverTouchesAnExistingFile) {
    TemporaryFolder folder;
    std::string target = folder.file("exported.pfx", "the earlier export");
    chmod(target.c_str(), 0400);
    EXPECT_EQ(ui::probeFileWriting(target), ui::WriteProbe::kWritable);
    EXPECT_EQ(contentOf(target), "the earlier export");
    struct stat info;
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0400u);
    EXPECT_EQ(entriesIn(folder.path()), 1u);  // no probe file left behind
}

TEST(FileChecks, TheWriteProbeRefusesWhatCannotTakeAFile) {
    TemporaryFolder folder;
    EXPECT_EQ(ui::probeFileWriting(folder.path() + "/new.pfx"), ui::WriteProbe::kWritable);
    EXPECT_EQ(entriesIn(folder.path()), 0u);
    EXPECT_EQ(ui::probeFileWriting(folder.path()), ui::WriteProbe::kNotWritable);  // a folder
    EXPECT_EQ(ui::probeFileWriting(folder.path() + "/missing/new.pfx"),
              ui::WriteProbe::kNotWritable);
    // No file can be created in /proc, even by root.
    EXPECT_EQ(ui::probeFileWriting("/proc/new.pfx"), ui::WriteProbe::kNotWritable);
    EXPECT_EQ(ui::probeFileWriting(""), ui::WriteProbe::kNotWritable);
    EXPECT_EQ(ui::probeFileWriting(folder.path() + std::string("/a\0b", 4)),
              ui::WriteProbe::kNotWritable);
}

TEST(FileChecks, FoldersAreCreatedOneLevelOnly) {
    TemporaryFolder folder;
    EXPECT_TRUE(ui::createFolder(folder.path() + "/new"));
    EXPECT_TRUE(ui::pathExists(folder.path() + "/new"));
    EXPECT_FALSE(ui::createFolder(folder.path() + "/a/b"));
    EXPECT_FALSE(ui::createFolder(""));
    EXPECT_FALSE(ui::pathExists(""));
    // A path cut short at a NUL byte would name another file.
    EXPECT_FALSE(ui::pathExists(folder.path() + std::string("\0/x", 3)));
}

}  // namespace
}  // namespace pennaform::test
