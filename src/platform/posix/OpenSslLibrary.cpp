#include "platform/posix/OpenSslLibrary.h"

#include <openssl/err.h>

namespace pennaform::platform {

Outcome<std::shared_ptr<OpenSslLibrary>> OpenSslLibrary::load() {
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
