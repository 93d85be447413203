// The POSIX backend's DES and Triple DES, on OpenSSL's EVP ciphers.
#pragma once

#include <memory>

#include "platform/SymmetricKeys.h"

namespace pennaform::platform {

// makeOpenSslSymmetricKeys: the service; OpenSSL's providers are loaded
// into a library context of its own when the first key is imported.
std::unique_ptr<SymmetricKeys> makeOpenSslSymmetricKeys();

}  // namespace pennaform::platform
