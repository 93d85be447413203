// The certificate reader of the POSIX backend, on OpenSSL.
#pragma once

#include <memory>

#include "platform/Certificates.h"

namespace pennaform::platform {

// makeOpenSslCertificates: the reader. It accepts one DER certificate with
// nothing after it. Chains are not built by this backend yet: buildChain
// fails with ERROR_NOT_SUPPORTED.
std::unique_ptr<Certificates> makeOpenSslCertificates();

}  // namespace pennaform::platform
