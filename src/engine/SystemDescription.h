// The texts of the environment facts, apart from the Engine so that they can
// be checked with any version data and adapter list.
#pragma once

#include <span>
#include <string>

#include "enrol/Enroller.h"
#include "platform/OsFacts.h"

namespace pennaform {

// windowsSystemName: the Windows name of the version data, in the process
// code page: "Microsoft Windows 10", ...; empty for a known major version
// with an unlisted minor one; "Windows 系統無法識別" for an unknown major one.
std::string windowsSystemName(const platform::OsVersion& version);

// describeSystem: what GetOSName does. Reads the version data, applies its
// provider defaults to `enroller`, and gives the host's own name where it has
// one, else the Windows name. Without version data (or facts): "Windows
// 作業系統偵測錯誤!" and the enroller is left alone.
std::string describeSystem(const platform::OsFacts* os, Enroller& enroller);

// macAddressText: the first six bytes of each adapter's address as
// "%02X-%02X-%02X-%02X-%02X-%02X", joined by single line feeds.
std::string macAddressText(std::span<const platform::NetworkAdapter> adapters);

}  // namespace pennaform
