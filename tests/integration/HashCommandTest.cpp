// Hash and HashFile through the command, checked against coreutils' md5sum,
// sha1sum, sha256sum and sha512sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <random>
#include <sstream>

#include "support/Process.h"
#include "support/Session.h"
#include "support/TemporaryFolder.h"

namespace pennaform::test {
namespace {

using nlohmann::json;
using namespace std::string_literals;

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

// digestBy: what `tool` (md5sum, sha1sum, ...) prints for `bytes`, upper-cased.
std::string digestBy(const std::string& tool, const std::string& bytes) {
    ProcessResult r = runProcess({tool}, {}, bytes);
    EXPECT_EQ(r.exitStatus, 0) << tool;
    return upper(r.out.substr(0, r.out.find(' ')));
}

TEST(HashCommand, FlagsChooseTheAlgorithmAndTheEncoding) {
    const std::string abcUtf16 = "a\0b\0c\0"s;
    const std::string sha1 = digestBy("sha1sum", abcUtf16);
    for (const char* flags : {"0", "2", "5", "6", "7", "8"}) {
        ProcessResult r = runCommand({"Hash", "abc", flags});
        EXPECT_EQ(r.exitStatus, 0) << flags;
        EXPECT_EQ(r.out, sha1 + "\n") << flags;
    }
    const std::string md5 = digestBy("md5sum", abcUtf16);
    EXPECT_EQ(runCommand({"Hash", "abc", "1"}).out, md5 + "\n");
    EXPECT_EQ(runCommand({"Hash", "abc", "9"}).out, md5 + "\n");
    EXPECT_EQ(runCommand({"Hash", "abc", "3"}).out, digestBy("sha256sum", abcUtf16) + "\n");
    EXPECT_EQ(runCommand({"Hash", "abc", "4"}).out, digestBy("sha512sum", abcUtf16) + "\n");
    // RFC 1321 appendix A.5: MD5 ("abc").
    EXPECT_EQ(runCommand({"Hash", "abc", "0x11"}).out, "900150983CD24FB0D6963F7D28E17F72\n");
    EXPECT_EQ(runCommand({"Hash", "abc", "0x13"}).out, digestBy("sha256sum", "abc") + "\n");

    ProcessResult empty = runCommand({"Hash", "", "0"});
    EXPECT_EQ(empty.exitStatus, 1);
    EXPECT_EQ(empty.err, "error 5005: 錯誤的參數(5005)\n");
}

TEST(HashCommand, CodePageTextFollowsTheLocale) {
    // 中 is A4 A4 in Big5 and E4 B8 AD in UTF-8.
    const std::map<std::string, std::string> big5{{"LC_ALL", "zh_TW.Big5"}};
    EXPECT_EQ(runCommand({"Hash", "中", "0x13"}, big5).out,
              digestBy("sha256sum", "\xA4\xA4") + "\n");
    const std::map<std::string, std::string> utf8{{"LC_ALL", "C.UTF-8"}};
    EXPECT_EQ(runCommand({"Hash", "中", "0x13"}, utf8).out,
              digestBy("sha256sum", "\xE4\xB8\xAD") + "\n");
}

// Files of 0 to 300 bytes, then of every power of two up to 64 MiB, each
// hashed by HashFile with all four algorithms and by the four coreutils
// tools; an empty file has no digest (1002).
TEST(HashFileCommand, AgreesWithCoreutilsOnRandomFilesOfManySizes) {
    TemporaryFolder dir;
    std::vector<std::size_t> sizes;
    for (std::size_t n = 0; n <= 300; ++n) sizes.push_back(n);
    for (std::size_t n = 512; n <= (64u << 20); n *= 2) sizes.push_back(n);
    std::mt19937_64 rng(2024);
    std::vector<std::string> paths;
    for (std::size_t n : sizes) {
        std::string bytes(n, '\0');
        for (std::size_t i = 0; i < n; i += 8) {
            const std::uint64_t word = rng();
            std::memcpy(bytes.data() + i, &word, std::min<std::size_t>(8, n - i));
        }
        paths.push_back(dir.file("f" + std::to_string(n), bytes));
    }

    const struct {
        const char* tool;
        int flags;
    } algorithms[] = {{"md5sum", 1}, {"sha1sum", 0}, {"sha256sum", 3}, {"sha512sum", 4}};
    std::vector<json> calls;
    for (const auto& a : algorithms) {
        for (const std::string& path : paths)
            calls.push_back({{"method", "HashFile"}, {"args", {path, a.flags}}});
    }
    const std::vector<json> answers = runSession(calls);
    ASSERT_EQ(answers.size(), calls.size());

    std::size_t next = 0;
    for (const auto& a : algorithms) {
        std::vector<std::string> argv = {a.tool};
        argv.insert(argv.end(), paths.begin() + 1, paths.end());  // all but the empty file
        ProcessResult listed = runProcess(argv);
        ASSERT_EQ(listed.exitStatus, 0) << listed.err;
        std::istringstream lines(listed.out);
        const json& empty = answers[next++];
        EXPECT_EQ(empty["errorCode"], 1002) << a.tool;
        EXPECT_EQ(empty["result"], "") << a.tool;
        for (std::size_t i = 1; i < paths.size(); ++i, ++next) {
            std::string digest, path;
            lines >> digest >> path;
            ASSERT_EQ(path, paths[i]);
            EXPECT_EQ(answers[next]["errorCode"], 0) << a.tool << " " << sizes[i];
            EXPECT_EQ(answers[next]["result"], upper(digest)) << a.tool << " " << sizes[i];
        }
    }
}

TEST(HashFileCommand, MissingFilesFoldersAndAnEmptyName) {
    TemporaryFolder dir;
    ProcessResult missing = runCommand({"HashFile", dir.path() + "/missing", "3"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.err, "error 5902: File Not Found(5902)\n");
    EXPECT_EQ(runCommand({"HashFile", dir.path(), "3"}).err, "error 1002: 檔案無法讀取(1002)\n");
    // The headless host can show no file chooser.
    EXPECT_EQ(runCommand({"HashFile", "", "3"}).err, "error 5070: 使用者按下\"取消\"按鈕(5070)\n");
}

}  // namespace
}  // namespace pennaform::test
