// Owners of the OpenSSL objects the test CA uses, and the file helpers its
// subcommands share. Every failure is reported on standard error by the
// helper that meets it; callers only pass the result on.
#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pennaform::testca {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* object) const {
        Free(object);
    }
};
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using NamePtr = std::unique_ptr<X509_NAME, Deleter<X509_NAME_free>>;
using NameEntryPtr = std::unique_ptr<X509_NAME_ENTRY, Deleter<X509_NAME_ENTRY_free>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using ObjectPtr = std::unique_ptr<ASN1_OBJECT, Deleter<ASN1_OBJECT_free>>;
using IntegerPtr = std::unique_ptr<ASN1_INTEGER, Deleter<ASN1_INTEGER_free>>;
using TimePtr = std::unique_ptr<ASN1_TIME, Deleter<ASN1_TIME_free>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, Deleter<PKCS7_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, Deleter<PKCS12_free>>;
// CertStackDeleter: frees a stack of certificates with the certificates in it.
struct CertStackDeleter {
    void operator()(STACK_OF(X509) * stack) const { sk_X509_pop_free(stack, X509_free); }
};
using CertStackPtr = std::unique_ptr<STACK_OF(X509), CertStackDeleter>;

using Bytes = std::vector<unsigned char>;

// fail: prints "pennaform-testca: MESSAGE" (and OpenSSL's queued errors) on
// standard error; returns false so that callers can `return fail(...)`.
bool fail(const std::string& message);

// readFile: the whole file; nullopt (reported) when it cannot be read.
std::optional<Bytes> readFile(const std::string& path);
// writeFile: writes the file whole, with the given mode, through a temporary
// file in the same folder renamed over the target.
bool writeFile(const std::string& path, const Bytes& content, unsigned mode = 0644);

// readCertificate: a certificate from a DER or PEM file.
X509Ptr readCertificate(const std::string& path);
// readPrivateKey: a private key from a PEM file (PKCS#8 or traditional).
KeyPtr readPrivateKey(const std::string& path);

// derOf, pemOf: encodings of a certificate.
Bytes derOf(X509* certificate);
Bytes pemOf(X509* certificate);
// privateKeyPem: the key as PEM PKCS#8, unencrypted.
Bytes privateKeyPem(EVP_PKEY* key);
// bioBytes: what was written into a memory BIO.
Bytes bioBytes(BIO* bio);

}  // namespace pennaform::testca
