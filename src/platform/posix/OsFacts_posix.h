// The operating-system facts on POSIX systems.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/OsFacts.h"

namespace pennaform::platform {

// makePosixOsFacts: the facts of the running system. It reports the version
// data of Windows 10 (a workstation without service pack), whose provider
// defaults this backend follows, and the system's own name from
// /etc/os-release, else from uname.
std::unique_ptr<OsFacts> makePosixOsFacts();

// prettyNameFromOsRelease: the value of PRETTY_NAME in the text of an
// os-release file (the last assignment, its shell quoting undone), or nullopt
// when it is absent or empty. UTF-8, as the file is.
std::optional<std::string> prettyNameFromOsRelease(std::string_view content);

}  // namespace pennaform::platform
