#include "engine/platform/PlatformFactory.h"

#include "engine/platform/posix/Certificates_openssl.h"
#include "engine/platform/posix/KeyProviders_posix.h"
#include "engine/platform/posix/OsFacts_posix.h"
#include "engine/platform/posix/Registry_sqlite.h"
#include "engine/platform/posix/StateDatabase.h"
#include "engine/platform/posix/SymmetricCiphers_openssl.h"

namespace pennaform::platform {

std::unique_ptr<Platform> makePlatform(const StateHome& home) {
    PlatformServices services;
    services.os = makePosixOsFacts();
    std::shared_ptr<StateDatabase> userDatabase = StateDatabase::userDatabase(home);
    services.registry = makeSqliteRegistry(
        userDatabase, StateDatabase::machineDatabase(home.machineHivePath()));
    services.certificates = makeOpenSslCertificates();
    services.keys = makeSoftwareKeyProviders();
    services.ciphers = makeOpenSslSymmetricCiphers();
    return std::make_unique<Platform>(std::move(services));
}

}  // namespace pennaform::platform
