// OsFacts: what the component reports about the machine and the user: the
// system's name and version, network adapter addresses, the home folder, and
// the clock with its local-time offset.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// OsVersion: the version data GetVersionExA reports (OSVERSIONINFOEXA),
// from which the component picks a Windows name and provider defaults.
struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint32_t platformId = 0;  // 1 Windows 9x, 2 NT
    std::string csdVersion;        // "Service Pack 3", or empty
    std::uint16_t servicePackMajor = 0;
    std::uint16_t servicePackMinor = 0;
    std::uint8_t productType = 0;  // 1 workstation
    bool serverR2 = false;         // GetSystemMetrics(SM_SERVERR2) != 0
};

// NetworkAdapter: one adapter's hardware address: `length` meaningful bytes
// in wire order, the rest of `address` zero.
struct NetworkAdapter {
    std::array<std::uint8_t, 8> address{};
    std::uint32_t length = 0;
};

// OsFacts: the operating-system facts.
class OsFacts {
public:
    virtual ~OsFacts() = default;

    // version: the version data to apply the component's name table and
    // provider defaults to. A platform that is not Windows reports the data
    // of the Windows version whose defaults it follows. Fails with the
    // platform's error when the data cannot be read.
    virtual Outcome<OsVersion> version() const = 0;
    // hostSystemName: the host system's own name, which then replaces the
    // name the component would derive from version(); nullopt on Windows,
    // whose name comes from the version data.
    virtual std::optional<std::string> hostSystemName() const = 0;
    // networkAdapters: the adapters with a hardware address, in the
    // platform's order, loopback and all-zero addresses left out.
    // ERROR_NO_DATA when there is none, as GetAdaptersInfo reports it.
    virtual Outcome<std::vector<NetworkAdapter>> networkAdapters() const = 0;
    // homeFolder: the user's home folder as the environment names it (HOME,
    // USERPROFILE on Windows), 8-bit text in the process code page; empty
    // when unset. Never checked for existence.
    virtual std::string homeFolder() const = 0;
    // currentTime: the current time, UTC.
    virtual FileTime currentTime() const = 0;
    // localTimeOffsetSeconds: the offset of local time from UTC in force
    // now, daylight saving included, in seconds east of UTC. The component
    // applies it to every instant it shows, as FileTimeToLocalFileTime does.
    virtual std::int64_t localTimeOffsetSeconds() const = 0;
};

}  // namespace pennaform::platform
