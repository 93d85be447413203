// The key providers of the POSIX backend: five software RSA providers under
// the Windows names and types.
#pragma once

#include <memory>

#include "engine/platform/KeyProviders.h"

namespace pennaform::platform {

// makeSoftwareKeyProviders: the provider list. Key containers are not kept by
// this build: every container operation fails with ERROR_NOT_SUPPORTED.
std::unique_ptr<KeyProviders> makeSoftwareKeyProviders();

}  // namespace pennaform::platform
