#include "support/TestCertificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <memory>

namespace pennaform::test {
namespace {

template <auto Free>
struct Freer {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
using Pkey = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Freer<X509_free>>;
using Bio = std::unique_ptr<BIO, Freer<BIO_free_all>>;
using PkeyContext = std::unique_ptr<EVP_PKEY_CTX, Freer<EVP_PKEY_CTX_free>>;

}  // namespace

TestIdentity makeTestIdentity(const std::string& commonName, int bits) {
    TestIdentity identity;
    Pkey key(EVP_RSA_gen(unsigned(bits)));
    Cert certificate(X509_new());
    if (!key || !certificate) return identity;
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 0x1234);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -86400);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 365L * 86400);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(certificate.get(), name);
    X509_set_pubkey(certificate.get(), key.get());
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0) return identity;

    unsigned char* der = nullptr;
    int length = i2d_X509(certificate.get(), &der);
    if (length <= 0) return identity;
    identity.certificateDer.assign(der, der + length);
    OPENSSL_free(der);

    Bio pem(BIO_new(BIO_s_mem()));
    PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    char* text = nullptr;
    long textLength = BIO_get_mem_data(pem.get(), &text);
    identity.privateKeyPem.assign(text, std::size_t(textLength));
    return identity;
}

std::vector<std::uint8_t> sha1Of(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> hash(20);
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), hash.data(), &length, EVP_sha1(), nullptr);
    return hash;
}

std::vector<std::uint8_t> digestOf(const std::string& digestName, const std::string& data) {
    const EVP_MD* md = EVP_get_digestbyname(digestName.c_str());
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (md == nullptr ||
        EVP_Digest(data.data(), data.size(), digest.data(), &length, md, nullptr) != 1) {
        return {};
    }
    digest.resize(length);
    return digest;
}

bool verifiesPkcs1(const std::vector<std::uint8_t>& publicKeyInfo, const std::string& digestName,
                   const std::vector<std::uint8_t>& digest,
                   const std::vector<std::uint8_t>& signature) {
    const unsigned char* cursor = publicKeyInfo.data();
    Pkey owned(d2i_PUBKEY(nullptr, &cursor, long(publicKeyInfo.size())));
    if (!owned) return false;
    EVP_PKEY* publicKey = owned.get();
    PkeyContext context(EVP_PKEY_CTX_new(publicKey, nullptr));
    const EVP_MD* md = EVP_get_digestbyname(digestName.c_str());
    if (!context || md == nullptr || EVP_PKEY_verify_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(context.get(), md) != 1) {
        return false;
    }
    return EVP_PKEY_verify(context.get(), signature.data(), signature.size(), digest.data(),
                           digest.size()) == 1;
}

}  // namespace pennaform::test
