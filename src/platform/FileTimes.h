// FileTimes: the conversions between file times and calendar times that
// Windows offers as SystemTimeToFileTime, FileTimeToSystemTime and
// FileTimeToLocalFileTime, as plain arithmetic on the proleptic Gregorian
// calendar (the calendar Windows uses for every date it can hold).
#pragma once

#include <cstdint>
#include <optional>

#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// SystemTime: a calendar time split into its fields (SYSTEMTIME without the
// day of the week, which nothing here needs).
struct SystemTime {
    int year = 1601;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
    friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

namespace fileTimes {

inline constexpr std::uint64_t kTicksPerSecond = 10'000'000;
inline constexpr std::uint64_t kTicksPerMillisecond = 10'000;
inline constexpr std::int64_t kSecondsPerDay = 86'400;
// The largest file time FileTimeToSystemTime accepts is below 2^63.
inline constexpr std::uint64_t kLimit = std::uint64_t(1) << 63;
// kDaysFromMarch0000: days from 0000-03-01, where the era arithmetic below
// counts from, to 1601-01-01, where file times count from.
inline constexpr std::int64_t kDaysFromMarch0000 = 584'694;

// daysFromCivil: days from 1601-01-01 to the given date (Howard Hinnant's
// days_from_civil, shifted to the file-time epoch).
constexpr std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + dayOfEra - kDaysFromMarch0000;
}

constexpr bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int daysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace fileTimes

// systemTimeToFileTime: the file time of a calendar time taken as UTC;
// nullopt when a field is out of its range or the year is outside
// 1601..30827, as SystemTimeToFileTime refuses them.
constexpr std::optional<FileTime> systemTimeToFileTime(const SystemTime& time) {
    using namespace fileTimes;
    if (time.year < 1601 || time.year > 30827 || time.month < 1 || time.month > 12) {
        return std::nullopt;
    }
    if (time.day < 1 || time.day > daysInMonth(time.year, time.month)) return std::nullopt;
    if (time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 ||
        time.second > 59 || time.milliseconds < 0 || time.milliseconds > 999) {
        return std::nullopt;
    }
    const std::int64_t seconds = daysFromCivil(time.year, time.month, time.day) * kSecondsPerDay +
                                 time.hour * 3600 + time.minute * 60 + time.second;
    return FileTime{std::uint64_t(seconds) * kTicksPerSecond +
                    std::uint64_t(time.milliseconds) * kTicksPerMillisecond};
}

// fileTimeToSystemTime: the calendar fields of a file time; nullopt from
// 2^63 ticks on, as FileTimeToSystemTime refuses them.
constexpr std::optional<SystemTime> fileTimeToSystemTime(FileTime fileTime) {
    using namespace fileTimes;
    if (fileTime.ticks >= kLimit) return std::nullopt;
    const std::int64_t seconds = std::int64_t(fileTime.ticks / kTicksPerSecond);
    const std::int64_t secondOfDay = seconds % kSecondsPerDay;
    // Howard Hinnant's civil_from_days on days counted from 0000-03-01.
    const std::int64_t days = seconds / kSecondsPerDay + kDaysFromMarch0000;
    const std::int64_t era = days / 146'097;
    const std::int64_t dayOfEra = days - era * 146'097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    SystemTime time;
    time.day = int(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    time.month = int(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    time.year = int(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
    time.hour = int(secondOfDay / 3600);
    time.minute = int(secondOfDay / 60 % 60);
    time.second = int(secondOfDay % 60);
    time.milliseconds = int(fileTime.ticks % kTicksPerSecond / kTicksPerMillisecond);
    return time;
}

// fileTimeToLocalFileTime: `fileTime` moved by the local offset
// `offsetSeconds` (east of UTC), as FileTimeToLocalFileTime applies the bias
// in force now to any instant; nullopt when the result would leave the range
// of file times.
constexpr std::optional<FileTime> fileTimeToLocalFileTime(FileTime fileTime,
                                                          std::int64_t offsetSeconds) {
    using namespace fileTimes;
    constexpr std::int64_t kMaxOffset = 7 * 24 * 3600;  // far beyond any real zone
    if (offsetSeconds < -kMaxOffset || offsetSeconds > kMaxOffset) return std::nullopt;
    const std::uint64_t shift =
        std::uint64_t(offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) * kTicksPerSecond;
    if (offsetSeconds < 0) {
        if (fileTime.ticks < shift) return std::nullopt;
        return FileTime{fileTime.ticks - shift};
    }
    if (fileTime.ticks > UINT64_MAX - shift) return std::nullopt;
    return FileTime{fileTime.ticks + shift};
}

}  // namespace pennaform::platform
