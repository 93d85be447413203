#include "platform/posix/OpenSslLibrary.h"

#include <openssl/err.h>

namespace pennaform::platform {

Outcome<std::shared_ptr<OpenSslLibrary>> OpenSslLibrary::load() {
    // One context for the whole process, kept to its end: OpenSSL 3.0 leaves
    // a freed context's per-thread state on every other thread that used it,
    // so a thread serving one Engine after another (the bridge's) crashed at
    // its exit once an earlier Engine's context was gone.
    static const Outcome<std::shared_ptr<OpenSslLibrary>> shared = loadNew();
    return shared;
}

Outcome<std::shared_ptr<OpenSslLibrary>> OpenSslLibrary::loadNew() {
    const openssl::ErrorQueueScope errorQueue;  // a missing legacy provider queues its reason
    std::shared_ptr<OpenSslLibrary> library(new OpenSslLibrary);
    library->context_.reset(OSSL_LIB_CTX_new());
    if (!library->context_) return fail(errors::kNteProviderDllFail);
    library->defaultProvider_.reset(OSSL_PROVIDER_load(library->context(), "default"));
    if (!library->defaultProvider_) return fail(errors::kNteProviderDllFail);
    library->legacyProvider_.reset(OSSL_PROVIDER_load(library->context(), "legacy"));
    return library;
}

}  // namespace pennaform::platform
