// The POSIX backend's DES and Triple DES, on OpenSSL's EVP ciphers.
#pragma once

#include <memory>

#include "platform/SymmetricCiphers.h"

namespace pennaform::platform {

// makeOpenSslSymmetricCiphers: the service; OpenSSL's providers are loaded
// into a library context of its own when the first key is imported.
std::unique_ptr<SymmetricCiphers> makeOpenSslSymmetricCiphers();

}  // namespace pennaform::platform
