// CertificateText: a DER certificate as readable text, for the hosts that
// show a certificate as text (the terminal host). The backend chooses the
// layout; on POSIX it is the fields OpenSSL prints.
#pragma once

#include <optional>
#include <string>

#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// certificateText: the certificate's fields as lines of text (its public key
// and signature left out), or nullopt when `der` is not one whole
// certificate.
std::optional<std::string> certificateText(ByteView der);

}  // namespace pennaform::platform
