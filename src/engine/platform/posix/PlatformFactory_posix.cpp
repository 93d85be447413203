#include "engine/platform/PlatformFactory.h"

namespace pennaform::platform {

std::unique_ptr<Platform> makePlatform(const StateHome& home) {
    (void)home;
    PlatformServices services;
    return std::make_unique<Platform>(std::move(services));
}

}  // namespace pennaform::platform
