// The operating-system facts' conformance suite: what every backend must
// report whatever machine it runs on: version data whose name and provider
// defaults are those of Windows 10, adapters as GetAdaptersInfo lists them,
// and a UTC clock with a whole-quarter-hour local offset.
#include <algorithm>
#include <chrono>

#include "unit/platform/PlatformConformance.h"

namespace pennaform::platform::test {
namespace {

FileTime now() {
    constexpr std::uint64_t kUnixEpochTicks = 116444736000000000;
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return FileTime{kUnixEpochTicks +
                    std::uint64_t(std::chrono::duration_cast<std::chrono::seconds>(since).count()) *
                        10000000};
}

TEST_P(OsFactsConformance, VersionDataLeadsToWindows10Defaults) {
    Outcome<OsVersion> version = facts().version();
    ASSERT_TRUE(version.ok()) << std::hex << version.error();
    EXPECT_EQ(version->major, 10u);
    EXPECT_EQ(version->minor, 0u);
    EXPECT_EQ(version->platformId, 2u);  // NT
    EXPECT_EQ(version->productType, 1);  // workstation
    EXPECT_FALSE(version->serverR2);
    // No service pack text without a service pack, and the other way round.
    EXPECT_EQ(version->csdVersion.empty(), version->servicePackMajor == 0);
    const std::optional<std::string> name = facts().hostSystemName();
    EXPECT_TRUE(!name || !name->empty());
}

TEST_P(OsFactsConformance, AdaptersHaveARealHardwareAddress) {
    Outcome<std::vector<NetworkAdapter>> adapters = facts().networkAdapters();
    if (!adapters.ok()) {
        EXPECT_EQ(adapters.error(), errors::kErrorNoData);
        return;
    }
    EXPECT_FALSE(adapters->empty());  // none is ERROR_NO_DATA, not an empty list
    for (const NetworkAdapter& adapter : *adapters) {
        SCOPED_TRACE(adapter.length);
        ASSERT_GE(adapter.length, 1u);
        ASSERT_LE(adapter.length, adapter.address.size());
        const auto used = adapter.address.begin() + adapter.length;
        EXPECT_TRUE(
            std::any_of(adapter.address.begin(), used, [](std::uint8_t b) { return b != 0; }));
        EXPECT_TRUE(
            std::all_of(used, adapter.address.end(), [](std::uint8_t b) { return b == 0; }));
    }
}

TEST_P(OsFactsConformance, ClockIsUtcAndTheOffsetAWholeQuarterHour) {
    constexpr std::uint64_t kSecond = 10000000;
    const FileTime before = now();
    const FileTime reported = facts().currentTime();
    const FileTime after = now();
    EXPECT_GE(reported.ticks, before.ticks);
    EXPECT_LT(reported.ticks, after.ticks + kSecond);

    const std::int64_t offset = facts().localTimeOffsetSeconds();
    EXPECT_LE(offset, 14 * 3600);
    EXPECT_GE(offset, -12 * 3600);
    EXPECT_EQ(offset % 900, 0);
}

}  // namespace
}  // namespace pennaform::platform::test
