// OpenSslOwners: owning handles for the OpenSSL objects the POSIX backend
// uses, so each one is freed on every path. They stay inside the backend.
#pragma once

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace pennaform::platform::openssl {

template <auto FreeFunction>
struct Deleter {
    template <typename T>
    void operator()(T* object) const noexcept {
        FreeFunction(object);
    }
};

template <typename T, auto FreeFunction>
using Owner = std::unique_ptr<T, Deleter<FreeFunction>>;

using Bio = Owner<BIO, BIO_free_all>;
using BigNum = Owner<BIGNUM, BN_free>;
using SecretBigNum = Owner<BIGNUM, BN_clear_free>;
using Pkey = Owner<EVP_PKEY, EVP_PKEY_free>;
using PkeyContext = Owner<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using X509Cert = Owner<X509, X509_free>;
using GeneralNames = Owner<GENERAL_NAMES, GENERAL_NAMES_free>;
using Pkcs12 = Owner<PKCS12, PKCS12_free>;
using Pkcs8 = Owner<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>;
using LibraryContext = Owner<OSSL_LIB_CTX, OSSL_LIB_CTX_free>;
using Provider = Owner<OSSL_PROVIDER, OSSL_PROVIDER_unload>;

inline void freeAuthSafes(STACK_OF(PKCS7) * safes) {
    sk_PKCS7_pop_free(safes, PKCS7_free);
}
inline void freeSafeBags(STACK_OF(PKCS12_SAFEBAG) * bags) {
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
}
using AuthSafes = Owner<STACK_OF(PKCS7), freeAuthSafes>;
using SafeBags = Owner<STACK_OF(PKCS12_SAFEBAG), freeSafeBags>;

// OpenSslBytes: memory OpenSSL allocated for the caller (i2d output, ...).
inline void freeOpenSslMemory(unsigned char* bytes) {
    OPENSSL_free(bytes);
}
using OpenSslBytes = Owner<unsigned char, freeOpenSslMemory>;

}  // namespace pennaform::platform::openssl
