// Chain building over the user's stores with OpenSSL.
#pragma once

#include <memory>

#include "platform/ChainBuilder.h"

namespace pennaform::platform {

std::unique_ptr<ChainBuilder> makeOpenSslChainBuilder();

}  // namespace pennaform::platform
