// OpenSslLibrary: the OpenSSL library context the POSIX backend works in,
// with the default provider and the legacy one (RC2, single DES and the
// other old ciphers of legacy PFX files). It is the backend's own, so the
// host program's default context is neither used nor changed.
#pragma once

#include <memory>

#include "platform/Outcome.h"
#include "platform/posix/OpenSslOwners.h"
#include "platform/posix/RecentCertificates.h"

namespace pennaform::platform {

class OpenSslLibrary {
public:
    // load: the process's context with both providers, made at the first
    // call and kept to the end of the process. NTE_PROVIDER_DLL_FAIL when the
    // context or the default provider cannot be loaded; a missing legacy
    // provider is not an error (legacy files then fail to decrypt).
    static Outcome<std::shared_ptr<OpenSslLibrary>> load();

    OSSL_LIB_CTX* context() const noexcept { return context_.get(); }
    // recentCertificates: what the certificate reader read lately in this
    // context.
    RecentCertificates& recentCertificates() const noexcept { return recentCertificates_; }

private:
    OpenSslLibrary() = default;
    static Outcome<std::shared_ptr<OpenSslLibrary>> loadNew();

    // Declared before the providers so that they are unloaded first.
    openssl::LibraryContext context_;
    openssl::Provider defaultProvider_;
    openssl::Provider legacyProvider_;
    mutable RecentCertificates recentCertificates_;
};

}  // namespace pennaform::platform
