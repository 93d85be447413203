// The backend chosen by the build makes the Platform an Engine works on.
#pragma once

#include <memory>

#include "platform/Platform.h"
#include "platform/StateHome.h"

namespace pennaform::platform {

// makePlatform: the services of this build's backend for the given state
// home. Services keep what they need of the home; nothing is opened or
// created until a service is first used.
std::unique_ptr<Platform> makePlatform(const StateHome& home);

}  // namespace pennaform::platform
