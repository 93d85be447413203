// certificateText: a DER certificate as readable text (the fields OpenSSL
// prints), for hosts that show certificates as text.
#pragma once

#include <optional>
#include <string>

#include "platform/PlatformTypes.h"

namespace pennaform::ui {

// certificateText: the text, or nullopt when `der` is not one whole
// certificate.
std::optional<std::string> certificateText(platform::ByteView der);

}  // namespace pennaform::ui
