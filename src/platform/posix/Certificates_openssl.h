// The certificate reader of the POSIX backend, on OpenSSL.
#pragma once

#include <memory>

#include "platform/Certificates.h"
#include "platform/posix/OpenSslLibrary.h"

namespace pennaform::platform {

// makeOpenSslCertificates: the reader. It accepts one DER certificate with
// nothing after it, and decodes and hashes in `library`'s context; with no
// library (the backend's context could not be loaded) it works in OpenSSL's
// default context instead. Chains are not built by this backend yet:
// buildChain fails with ERROR_NOT_SUPPORTED.
std::unique_ptr<Certificates> makeOpenSslCertificates(std::shared_ptr<OpenSslLibrary> library);

}  // namespace pennaform::platform
