// The certificate stores of the POSIX backend: the user's "MY", "ROOT" and
// "CA" in the per-user SQLite database, and memory stores.
#pragma once

#include <memory>

#include "platform/CertificateStores.h"
#include "platform/KeyProviders.h"
#include "platform/posix/OpenSslLibrary.h"
#include "platform/posix/StateDatabase.h"

namespace pennaform::platform {

// makeSqliteCertificateStores: stores over `database`. `keys` opens the
// containers that key-provider information names (acquirePrivateKey); it
// must outlive the service and every store it opens.
std::unique_ptr<CertificateStores> makeSqliteCertificateStores(
    std::shared_ptr<StateDatabase> database, std::shared_ptr<OpenSslLibrary> library,
    KeyProviders& keys);

}  // namespace pennaform::platform
