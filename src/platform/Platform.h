// Platform: one instance of each platform service, owned together. The
// component reaches every service of the operating system through it.
#pragma once

#include <memory>
#include <utility>

#include "platform/CertificateReader.h"
#include "platform/CertificateStores.h"
#include "platform/ChainBuilder.h"
#include "platform/CryptMessages.h"
#include "platform/KeyProviders.h"
#include "platform/OsFacts.h"
#include "platform/Pkcs12.h"
#include "platform/PlatformDialogs.h"
#include "platform/RandomSource.h"
#include "platform/Registry.h"
#include "platform/SharedMemory.h"
#include "platform/SymmetricKeys.h"

namespace pennaform::platform {

// PlatformServices: the services a backend hands over. A member left null is
// a service the backend does not offer; callers check before use. Services
// are destroyed in the reverse of this order, so a service may refer to those
// declared above it for as long as it lives.
struct PlatformServices {
    std::unique_ptr<PlatformDialogs> dialogs;
    std::unique_ptr<OsFacts> os;
    std::unique_ptr<RandomSource> random;
    std::unique_ptr<Registry> registry;
    std::unique_ptr<SharedMemory> sharedMemory;
    std::unique_ptr<CertificateReader> certificateReader;
    std::unique_ptr<KeyProviders> keys;
    std::unique_ptr<CertificateStores> stores;
    std::unique_ptr<ChainBuilder> chains;
    std::unique_ptr<Pkcs12> pkcs12;
    std::unique_ptr<CryptMessages> messages;
    std::unique_ptr<SymmetricKeys> symmetricKeys;
};

// Platform: owns the services; each accessor returns the service or null
// when the backend does not offer it. Pointers stay valid as long as the
// Platform, except dialogs(), which installDialogs may replace.
class Platform {
public:
    Platform() = default;
    explicit Platform(PlatformServices services) : services_(std::move(services)) {}
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    KeyProviders* keys() const noexcept { return services_.keys.get(); }
    CertificateStores* stores() const noexcept { return services_.stores.get(); }
    ChainBuilder* chains() const noexcept { return services_.chains.get(); }
    CertificateReader* certificateReader() const noexcept {
        return services_.certificateReader.get();
    }
    Pkcs12* pkcs12() const noexcept { return services_.pkcs12.get(); }
    CryptMessages* messages() const noexcept { return services_.messages.get(); }
    Registry* registry() const noexcept { return services_.registry.get(); }
    OsFacts* os() const noexcept { return services_.os.get(); }
    SharedMemory* sharedMemory() const noexcept { return services_.sharedMemory.get(); }
    SymmetricKeys* symmetricKeys() const noexcept { return services_.symmetricKeys.get(); }
    RandomSource* random() const noexcept { return services_.random.get(); }
    // dialogs: the dialog host in place now; null when none is installed,
    // which means no dialog can be shown (the library's default). Services
    // that ask the user (a user-protected key) look it up here at each use
    // rather than keeping it.
    PlatformDialogs* dialogs() const noexcept { return services_.dialogs.get(); }

    // installDialogs: replaces the dialog host (the host program chooses one
    // at run time); null removes it. Must not be called while a dialog is up.
    void installDialogs(std::unique_ptr<PlatformDialogs> host) noexcept {
        services_.dialogs = std::move(host);
    }

private:
    PlatformServices services_;
};

}  // namespace pennaform::platform
