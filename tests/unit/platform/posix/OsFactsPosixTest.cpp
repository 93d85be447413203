// The POSIX system facts: the version data it reports, the system name from
// os-release, the adapters against /sys, and the clock.
#include "platform/posix/OsFacts_posix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "support/NetworkInterfaces.h"

namespace pennaform::platform {
namespace {

TEST(OsReleaseParsing, PrettyNameWithItsQuotingUndone) {
    EXPECT_EQ(prettyNameFromOsRelease("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 "
                                      "(bookworm)\"\nID=debian\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=Plain\n"), "Plain");
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME='Single \"quoted\"'"), "Single \"quoted\"");
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=\"Say \\\"hi\\\" \\$5 \\\\ \\n\"\r\n"),
              "Say \"hi\" $5 \\ \\n");
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=\"First\"\nPRETTY_NAME=\"Second\""), "Second");
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=\"Ünïcødé 系統\""), "Ünïcødé 系統");
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=\"unterminated"), "unterminated");
}

TEST(OsReleaseParsing, AbsentOrEmptyNames) {
    EXPECT_EQ(prettyNameFromOsRelease(""), std::nullopt);
    EXPECT_EQ(prettyNameFromOsRelease("NAME=Debian\n# PRETTY_NAME=\"Commented\"\n"), std::nullopt);
    EXPECT_EQ(prettyNameFromOsRelease("XPRETTY_NAME=\"Other key\""), std::nullopt);
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=\"\""), std::nullopt);
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME="), std::nullopt);
}

TEST(PosixOsFacts, ReportsWindows10VersionData) {
    auto facts = makePosixOsFacts();
    auto version = facts->version();
    ASSERT_TRUE(version.ok());
    EXPECT_EQ(version->major, 10u);
    EXPECT_EQ(version->minor, 0u);
    EXPECT_EQ(version->platformId, 2u);
    EXPECT_EQ(version->productType, 1);
    EXPECT_EQ(version->csdVersion, "");
}

TEST(PosixOsFacts, SystemNameIsTheHostsOwn) {
    std::ifstream in("/etc/os-release");
    std::stringstream content;
    content << in.rdbuf();
    std::optional<std::string> expected = prettyNameFromOsRelease(content.str());
    if (!expected) GTEST_SKIP() << "this host's /etc/os-release has no PRETTY_NAME";
    EXPECT_EQ(makePosixOsFacts()->hostSystemName(), expected);
}

TEST(PosixOsFacts, AdaptersAreThoseTheKernelShows) {
    std::vector<std::string> expected = test::sysfsMacAddresses();
    auto adapters = makePosixOsFacts()->networkAdapters();
    if (expected.empty()) {
        EXPECT_EQ(adapters.error(), errors::kErrorNoData);
        return;
    }
    ASSERT_TRUE(adapters.ok());
    std::vector<std::string> listed;
    for (const NetworkAdapter& adapter : *adapters) {
        char text[18];
        const auto& a = adapter.address;
        std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3],
                      a[4], a[5]);
        listed.push_back(text);
        EXPECT_GT(adapter.length, 0u);
    }
    EXPECT_EQ(listed, expected);
}

TEST(PosixOsFacts, HomeFolderIsHome) {
    const char* saved = std::getenv("HOME");
    std::string restore = saved ? saved : "";
    auto facts = makePosixOsFacts();
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(facts->homeFolder(), "/home/someone");
    unsetenv("HOME");
    EXPECT_EQ(facts->homeFolder(), "");
    if (saved) setenv("HOME", restore.c_str(), 1);
}

TEST(PosixOsFacts, ClockAndLocalOffset) {
    auto facts = makePosixOsFacts();
    constexpr std::uint64_t kUnixEpoch = 116444736000000000ull;
    std::uint64_t before = std::uint64_t(std::time(nullptr));
    std::uint64_t ticks = facts->currentTime().ticks;
    std::uint64_t after = std::uint64_t(std::time(nullptr));
    EXPECT_GE(ticks, kUnixEpoch + before * 10000000ull);
    EXPECT_LT(ticks, kUnixEpoch + (after + 1) * 10000000ull);

    const char* saved = std::getenv("TZ");
    std::string restore = saved ? saved : "";
    setenv("TZ", "Asia/Taipei", 1);
    EXPECT_EQ(facts->localTimeOffsetSeconds(), 8 * 3600);
    setenv("TZ", "UTC", 1);
    EXPECT_EQ(facts->localTimeOffsetSeconds(), 0);
    setenv("TZ", "<-0330>3:30", 1);
    EXPECT_EQ(facts->localTimeOffsetSeconds(), -(3 * 3600 + 1800));
    if (saved)
        setenv("TZ", restore.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

}  // namespace
}  // namespace pennaform::platform
