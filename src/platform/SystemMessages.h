// SystemMessages: the English system message texts of the platform error
// numbers, as FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM |
// FORMAT_MESSAGE_IGNORE_INSERTS) returns them on Windows. GetCapiErrorMsg
// shows them; this table stands in for the system's message file, so the text
// does not depend on the host the component runs on.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "platform/PlatformError.h"

namespace pennaform::platform {

// systemMessageText: the text for `number` exactly as the system returns it,
// its trailing "\r\n" included ("%1"-style inserts are left as they are), or
// nullopt when the system has no message for the number. The view refers to
// static storage and stays valid for the life of the process.
std::optional<std::string_view> systemMessageText(PlatformError number);

// systemMessageNumbers: every number systemMessageText knows, in ascending
// order (for tests and for callers that list the table).
std::span<const PlatformError> systemMessageNumbers();

}  // namespace pennaform::platform
