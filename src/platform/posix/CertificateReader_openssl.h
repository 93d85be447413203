// The certificate reader of the POSIX backend, on OpenSSL.
#pragma once

#include <memory>

#include "platform/CertificateReader.h"
#include "platform/posix/OpenSslLibrary.h"
#include "platform/posix/OpenSslOwners.h"

namespace pennaform::platform {

// makeOpenSslCertificateReader: the reader. It accepts one DER certificate with
// nothing after it, and decodes and hashes in `library`'s context, keeping
// what it read in the library's recent certificates; with no library (the
// backend's context could not be loaded) it works in OpenSSL's default
// context instead, and reads every time.
std::unique_ptr<CertificateReader> makeOpenSslCertificateReader(
    std::shared_ptr<OpenSslLibrary> library);

// decodeX509Certificate: `der` as OpenSSL reads it in `library` (null: the
// default context), after the outer checks the reader makes; the encoding
// must be one certificate OpenSSL accepts whole. CRYPT_E_ASN1_* otherwise.
Outcome<openssl::X509Cert> decodeX509Certificate(OSSL_LIB_CTX* library, ByteView der);

}  // namespace pennaform::platform
