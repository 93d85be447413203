// The certificate stores of the POSIX backend: the user's "MY", "ROOT" and
// "CA" in the per-user SQLite database, and memory stores.
#pragma once

#include <memory>

#include "engine/platform/CertificateStores.h"
#include "engine/platform/KeyProviders.h"
#include "engine/platform/posix/OpenSslLibrary.h"
#include "engine/platform/posix/StateDatabase.h"

namespace pennaform::platform {

// makeSqliteCertificateStores: stores over `database`. `keys` opens the
// containers that key-provider information names (acquirePrivateKey); it
// must outlive the service and every store it opens.
std::unique_ptr<CertificateStores> makeSqliteCertificateStores(
    std::shared_ptr<StateDatabase> database, std::shared_ptr<OpenSslLibrary> library,
    KeyProviders& keys);

}  // namespace pennaform::platform
