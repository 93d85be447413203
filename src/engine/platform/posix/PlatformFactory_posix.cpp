#include "engine/platform/PlatformFactory.h"

#include "engine/platform/posix/SymmetricCiphers_openssl.h"

namespace pennaform::platform {

std::unique_ptr<Platform> makePlatform(const StateHome& home) {
    (void)home;
    PlatformServices services;
    services.ciphers = makeOpenSslSymmetricCiphers();
    return std::make_unique<Platform>(std::move(services));
}

}  // namespace pennaform::platform
