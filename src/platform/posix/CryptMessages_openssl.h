// The PKCS#7 message service over OpenSSL.
#pragma once

#include <memory>

#include "platform/CryptMessages.h"
#include "platform/posix/OpenSslLibrary.h"

namespace pennaform::platform {

// makeOpenSslCryptMessages: the service, working in `library`'s context.
std::unique_ptr<CryptMessages> makeOpenSslCryptMessages(std::shared_ptr<OpenSslLibrary> library);

}  // namespace pennaform::platform
