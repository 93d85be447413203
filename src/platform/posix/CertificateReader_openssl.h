// The certificate reader of the POSIX backend, on OpenSSL.
#pragma once

#include <memory>

#include "platform/CertificateReader.h"
#include "platform/posix/OpenSslLibrary.h"

namespace pennaform::platform {

// makeOpenSslCertificateReader: the reader. It accepts one DER certificate with
// nothing after it, and decodes and hashes in `library`'s context; with no
// library (the backend's context could not be loaded) it works in OpenSSL's
// default context instead.
std::unique_ptr<CertificateReader> makeOpenSslCertificateReader(
    std::shared_ptr<OpenSslLibrary> library);

}  // namespace pennaform::platform
