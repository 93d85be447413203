// The key providers of the POSIX backend: five software RSA providers under
// the Windows names and types, sharing one namespace of key containers per
// user, kept in the user's state database.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/KeyProviders.h"
#include "platform/PlatformDialogs.h"
#include "platform/posix/OpenSslLibrary.h"
#include "platform/posix/StateDatabase.h"

namespace pennaform::platform {

// DialogLookup: the dialog host in place at the moment of the call, or null
// when none is installed. Looked up at each use, because the host program may
// replace the host at any time.
using DialogLookup = std::function<PlatformDialogs*()>;

// ContainerStorage: where a container made by createContainerWithKey lives.
enum class ContainerStorage {
    kPersisted,   // in the state database, for every process of the user
    kMemoryOnly,  // in the key service of this process only, never written
};

// SoftwareKeyProviders: KeyProviders with what the backend's PKCS#12 import
// needs beside the interface.
class SoftwareKeyProviders : public KeyProviders {
public:
    // createContainerWithKey: creates container `ref` holding the private key
    // `pkcs8` (unencrypted PKCS#8 DER, any key type) in slot `spec` with
    // `flags` (keyFlags), and opens it. kPersisted writes it in one
    // transaction. kMemoryOnly keeps it in this service: it shares the one
    // namespace of names, opens, signs, exports and takes new keys as a
    // persisted one does, in this process only, and is gone, its keys wiped,
    // when it is deleted or the service is destroyed; a process that dies
    // leaves no trace of it. The failures of createContainer, and
    // NTE_BAD_KEY for bytes that are not a key.
    virtual Outcome<std::unique_ptr<KeyContainer>> createContainerWithKey(
        const ContainerRef& ref, KeySpec spec, std::uint32_t flags, ByteView pkcs8,
        ContainerStorage storage) = 0;
    // exportPrivateKey: the key in slot `spec` of container `ref` as
    // unencrypted PKCS#8 (any key type), for the backend's PFX export, under
    // the rules of RsaKey::exportPrivateKeyBlob: only a key made or imported
    // exportable (NTE_BAD_KEY_STATE otherwise), a user-protected one after
    // the user allowed it (ERROR_CANCELLED, NTE_SILENT_CONTEXT). The failures
    // of openContainer, and NTE_NO_KEY for an empty slot.
    virtual Outcome<SecretBytes> exportPrivateKey(const ContainerRef& ref, KeySpec spec) = 0;
};

// makeSoftwareKeyProviders: the providers over the containers of `database`.
// Key operations run in `library`; a user-protected key asks the user
// through the host `dialogs` gives at the time, and without one it is not
// used (NTE_SILENT_CONTEXT).
std::unique_ptr<SoftwareKeyProviders> makeSoftwareKeyProviders(
    std::shared_ptr<StateDatabase> database, std::shared_ptr<OpenSslLibrary> library,
    DialogLookup dialogs);

}  // namespace pennaform::platform
