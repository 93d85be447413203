#include "platform/PlatformFactory.h"

#include "platform/posix/CertificateReader_openssl.h"
#include "platform/posix/CertificateStores_sqlite.h"
#include "platform/posix/ChainBuilder_openssl.h"
#include "platform/posix/CryptMessages_openssl.h"
#include "platform/posix/KeyProviders_sqlite.h"
#include "platform/posix/OpenSslLibrary.h"
#include "platform/posix/OsFacts_posix.h"
#include "platform/posix/Pkcs12_openssl.h"
#include "platform/posix/RandomSource_posix.h"
#include "platform/posix/Registry_sqlite.h"
#include "platform/posix/SharedMemory_posix.h"
#include "platform/posix/StateDatabase.h"
#include "platform/posix/SymmetricKeys_openssl.h"

namespace pennaform::platform {

std::unique_ptr<Platform> makePlatform(const StateHome& home) {
    PlatformServices services;
    services.os = makePosixOsFacts();
    services.random = makePosixRandomSource();
    std::shared_ptr<StateDatabase> userDatabase = StateDatabase::userDatabase(home);
    services.registry =
        makeSqliteRegistry(userDatabase, StateDatabase::machineDatabase(home.machineHivePath()));
    services.sharedMemory = makePosixSharedMemory(home);

    // The key services look up the dialog host of the finished Platform at
    // each use; they never outlive it, being owned by it.
    auto platformSlot = std::make_shared<Platform*>(nullptr);
    DialogLookup dialogs = [platformSlot] {
        return *platformSlot != nullptr ? (*platformSlot)->dialogs() : nullptr;
    };
    // Without an OpenSSL context the backend offers no key, store or PFX
    // service; callers then report the service as unavailable.
    Outcome<std::shared_ptr<OpenSslLibrary>> library = OpenSslLibrary::load();
    services.certificateReader = makeOpenSslCertificateReader(library ? *library : nullptr);
    if (library) {
        std::unique_ptr<SoftwareKeyProviders> keys =
            makeSoftwareKeyProviders(userDatabase, *library, dialogs);
        services.stores = makeSqliteCertificateStores(userDatabase, *library, *keys);
        services.chains = makeOpenSslChainBuilder(*services.stores, *library);
        services.pkcs12 = makeOpenSslPkcs12(*library, *keys, *services.stores);
        services.messages = makeOpenSslCryptMessages(*library);
        services.keys = std::move(keys);
    }
    services.symmetricKeys = makeOpenSslSymmetricKeys();
    auto platform = std::make_unique<Platform>(std::move(services));
    *platformSlot = platform.get();
    return platform;
}

}  // namespace pennaform::platform
