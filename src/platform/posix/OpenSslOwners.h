// OpenSslOwners: one owning handle for every OpenSSL object the POSIX
// backend holds, keyed by the object's type: Owned<X509> frees with
// X509_free, Owned<EVP_PKEY> with EVP_PKEY_free, and so on, so each object
// is freed on every path by the function that matches it. Raw OpenSSL
// pointers stay inside the backend. ErrorQueueScope keeps OpenSSL's error
// queue free of the reasons the backend's own calls leave behind.
#pragma once

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/params.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace pennaform::platform::openssl {

// Deleter<T>: the function that frees a T; specialised once per type below.
// A type without a specialisation cannot be owned (the primary template is
// never defined).
template <typename T>
struct Deleter;

#define PENNAFORM_OPENSSL_DELETER(Type, freeFunction)                          \
    template <>                                                                \
    struct Deleter<Type> {                                                     \
        void operator()(Type* object) const noexcept { freeFunction(object); } \
    }

PENNAFORM_OPENSSL_DELETER(ASN1_OBJECT, ASN1_OBJECT_free);
PENNAFORM_OPENSSL_DELETER(BIGNUM, BN_free);
PENNAFORM_OPENSSL_DELETER(BIO, BIO_free_all);
PENNAFORM_OPENSSL_DELETER(CMS_ContentInfo, CMS_ContentInfo_free);
PENNAFORM_OPENSSL_DELETER(BN_CTX, BN_CTX_free);
PENNAFORM_OPENSSL_DELETER(EVP_CIPHER, EVP_CIPHER_free);
PENNAFORM_OPENSSL_DELETER(EVP_CIPHER_CTX, EVP_CIPHER_CTX_free);
PENNAFORM_OPENSSL_DELETER(EVP_MD, EVP_MD_free);
PENNAFORM_OPENSSL_DELETER(EVP_PKEY, EVP_PKEY_free);
PENNAFORM_OPENSSL_DELETER(EVP_PKEY_CTX, EVP_PKEY_CTX_free);
PENNAFORM_OPENSSL_DELETER(GENERAL_NAMES, GENERAL_NAMES_free);
PENNAFORM_OPENSSL_DELETER(OSSL_LIB_CTX, OSSL_LIB_CTX_free);
PENNAFORM_OPENSSL_DELETER(OSSL_PARAM, OSSL_PARAM_free);
PENNAFORM_OPENSSL_DELETER(OSSL_PARAM_BLD, OSSL_PARAM_BLD_free);
PENNAFORM_OPENSSL_DELETER(OSSL_PROVIDER, OSSL_PROVIDER_unload);
PENNAFORM_OPENSSL_DELETER(PBE2PARAM, PBE2PARAM_free);
PENNAFORM_OPENSSL_DELETER(PBEPARAM, PBEPARAM_free);
PENNAFORM_OPENSSL_DELETER(PBKDF2PARAM, PBKDF2PARAM_free);
PENNAFORM_OPENSSL_DELETER(PKCS12, PKCS12_free);
PENNAFORM_OPENSSL_DELETER(PKCS12_SAFEBAG, PKCS12_SAFEBAG_free);
PENNAFORM_OPENSSL_DELETER(PKCS7, PKCS7_free);
PENNAFORM_OPENSSL_DELETER(PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free);
PENNAFORM_OPENSSL_DELETER(X509, X509_free);
PENNAFORM_OPENSSL_DELETER(X509_STORE, X509_STORE_free);
PENNAFORM_OPENSSL_DELETER(X509_STORE_CTX, X509_STORE_CTX_free);

// Stacks are freed with the objects in them.
inline void freeAuthSafes(STACK_OF(PKCS7) * safes) {
    sk_PKCS7_pop_free(safes, PKCS7_free);
}
inline void freeSafeBags(STACK_OF(PKCS12_SAFEBAG) * bags) {
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
}
inline void freeCertificates(STACK_OF(X509) * certificates) {
    sk_X509_pop_free(certificates, X509_free);
}
PENNAFORM_OPENSSL_DELETER(STACK_OF(PKCS7), freeAuthSafes);
PENNAFORM_OPENSSL_DELETER(STACK_OF(X509), freeCertificates);
PENNAFORM_OPENSSL_DELETER(STACK_OF(PKCS12_SAFEBAG), freeSafeBags);

#undef PENNAFORM_OPENSSL_DELETER

// Owned<T>: the owner of one T.
template <typename T>
using Owned = std::unique_ptr<T, Deleter<T>>;

using Bio = Owned<BIO>;
using BigNum = Owned<BIGNUM>;
using Pkey = Owned<EVP_PKEY>;
using PkeyContext = Owned<EVP_PKEY_CTX>;
using X509Cert = Owned<X509>;
using GeneralNames = Owned<GENERAL_NAMES>;
using Pkcs12 = Owned<PKCS12>;
using SafeBag = Owned<PKCS12_SAFEBAG>;
using Pkcs8 = Owned<PKCS8_PRIV_KEY_INFO>;
using LibraryContext = Owned<OSSL_LIB_CTX>;
using Provider = Owned<OSSL_PROVIDER>;
using AuthSafes = Owned<STACK_OF(PKCS7)>;
using SafeBags = Owned<STACK_OF(PKCS12_SAFEBAG)>;

// Two owners free by what the memory holds rather than by its type.
// SecretBigNum: a BIGNUM holding private-key material, wiped when freed.
struct SecretBigNumDeleter {
    void operator()(BIGNUM* number) const noexcept { BN_clear_free(number); }
};
using SecretBigNum = std::unique_ptr<BIGNUM, SecretBigNumDeleter>;

// OpenSslBytes: memory OpenSSL allocated for the caller (i2d output, ...).
struct OpenSslBytesDeleter {
    void operator()(unsigned char* bytes) const noexcept { OPENSSL_free(bytes); }
};
using OpenSslBytes = std::unique_ptr<unsigned char, OpenSslBytesDeleter>;

// ErrorQueueScope: while it lives, the reasons OpenSSL queues on this
// thread belong to the backend's calls; when it ends they are dropped, so
// they never reach the host's own OpenSSL calls. Reasons queued before the
// scope began (the host's) are left as they were. Scopes nest.
class ErrorQueueScope {
public:
    ErrorQueueScope() noexcept : marked_(ERR_set_mark() == 1) {}
    ~ErrorQueueScope() {
        // Without a mark the queue was empty when the scope began: all of
        // it is ours.
        if (marked_) {
            ERR_pop_to_mark();
        } else {
            ERR_clear_error();
        }
    }
    ErrorQueueScope(const ErrorQueueScope&) = delete;
    ErrorQueueScope& operator=(const ErrorQueueScope&) = delete;

private:
    bool marked_;
};

}  // namespace pennaform::platform::openssl
