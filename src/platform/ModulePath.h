// The path of the loaded library, which the registration names as the
// control's server.
#pragma once

#include <string>

namespace pennaform::platform {

// loadedModulePath: the full path of the file this code was loaded from
// (libpennaform.so); empty when the system cannot tell.
std::string loadedModulePath();

}  // namespace pennaform::platform
