// Random bytes from the system's source.
#pragma once

#include <memory>

#include "platform/RandomSource.h"

namespace pennaform::platform {

std::unique_ptr<RandomSource> makePosixRandomSource();

}  // namespace pennaform::platform
