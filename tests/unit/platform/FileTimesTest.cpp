#include "platform/FileTimes.h"

#include <gtest/gtest.h>

namespace pennaform::platform {
namespace {

constexpr std::uint64_t kUnixEpoch = 116444736000000000ull;

TEST(FileTimes, CalendarConversions) {
    EXPECT_EQ(systemTimeToFileTime({1601, 1, 1, 0, 0, 0, 0})->ticks, 0u);
    EXPECT_EQ(systemTimeToFileTime({1970, 1, 1, 0, 0, 0, 0})->ticks, kUnixEpoch);
    // 2000-02-29 12:34:56.789, a leap day of a century leap year.
    const SystemTime leapDay{2000, 2, 29, 12, 34, 56, 789};
    const std::optional<FileTime> ticks = systemTimeToFileTime(leapDay);
    ASSERT_TRUE(ticks);
    EXPECT_EQ(ticks->ticks, kUnixEpoch + 951827696789ull * 10000);
    EXPECT_EQ(fileTimeToSystemTime(*ticks), leapDay);
    // The last instant FileTimeToSystemTime takes, and the first it refuses.
    EXPECT_EQ(fileTimeToSystemTime(FileTime{0x7FFFFFFFFFFFFFFFull}),
              (SystemTime{30828, 9, 14, 2, 48, 5, 477}));
    EXPECT_FALSE(fileTimeToSystemTime(FileTime{0x8000000000000000ull}));
    for (const SystemTime& bad :
         {SystemTime{1600, 12, 31, 0, 0, 0, 0}, SystemTime{1900, 2, 29, 0, 0, 0, 0},
          SystemTime{2021, 4, 31, 0, 0, 0, 0}, SystemTime{2021, 13, 1, 0, 0, 0, 0},
          SystemTime{2021, 1, 1, 24, 0, 0, 0}, SystemTime{2021, 1, 1, 0, 0, 60, 0}}) {
        EXPECT_FALSE(systemTimeToFileTime(bad)) << bad.year << "-" << bad.month << "-" << bad.day;
    }
}

TEST(FileTimes, LocalOffsetKeepsToTheRange) {
    EXPECT_EQ(fileTimeToLocalFileTime(FileTime{kUnixEpoch}, 8 * 3600)->ticks,
              kUnixEpoch + 8ull * 3600 * 10000000);
    EXPECT_EQ(fileTimeToLocalFileTime(FileTime{kUnixEpoch}, -5 * 3600)->ticks,
              kUnixEpoch - 5ull * 3600 * 10000000);
    EXPECT_FALSE(fileTimeToLocalFileTime(FileTime{10}, -1));
    EXPECT_FALSE(fileTimeToLocalFileTime(FileTime{UINT64_MAX - 10}, 1));
}

}  // namespace
}  // namespace pennaform::platform
