// The POSIX named blocks and events of the user's session.
#pragma once

#include <memory>

#include "platform/SharedMemory.h"

namespace pennaform::platform {

std::unique_ptr<SharedMemory> makePosixSharedMemory();

}  // namespace pennaform::platform
