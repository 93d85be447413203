// The PKCS#7 message service over OpenSSL.
#pragma once

#include <memory>

#include "platform/CryptMessages.h"

namespace pennaform::platform {

std::unique_ptr<CryptMessages> makeOpenSslCryptMessages();

}  // namespace pennaform::platform
