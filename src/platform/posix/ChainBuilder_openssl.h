// Chain building over the user's stores with OpenSSL.
#pragma once

#include <memory>

#include "platform/ChainBuilder.h"
#include "platform/posix/OpenSslLibrary.h"

namespace pennaform::platform {

class CertificateStores;

// makeOpenSslChainBuilder: chains over the system stores of `stores`, which
// must outlive the builder, verified in `library`.
std::unique_ptr<ChainBuilder> makeOpenSslChainBuilder(CertificateStores& stores,
                                                      std::shared_ptr<OpenSslLibrary> library);

}  // namespace pennaform::platform
