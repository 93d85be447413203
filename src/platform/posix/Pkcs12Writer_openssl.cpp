#include "platform/posix/Pkcs12Writer_openssl.h"

#include <openssl/objects.h>

#include <climits>
#include <optional>
#include <vector>

#include "encoding/DerBuilder.h"

namespace pennaform::platform {
namespace {

// The cipher of every encrypted layer; as a cipher (not a PBE scheme) OpenSSL
// wraps it in PBES2 with PBKDF2, whose pseudo-random function defaults to
// HMAC-SHA256.
constexpr int kEncryption = NID_aes_256_cbc;

// pushOwned: `bag` into `bags` (created on first use); the stack then owns it.
Outcome<PKCS12_SAFEBAG*> pushOwned(openssl::SafeBags& bags, PKCS12_SAFEBAG* bag) {
    if (bag == nullptr) return fail(errors::kNteFail);
    if (!bags) bags.reset(sk_PKCS12_SAFEBAG_new_null());
    if (!bags || sk_PKCS12_SAFEBAG_push(bags.get(), bag) <= 0) {
        PKCS12_SAFEBAG_free(bag);
        return fail(errors::kNteNoMemory);
    }
    return bag;
}

// certificateBagOf: the SafeBag encoding of a certificate bag (RFC 7292
// §4.2.3) that carries `der`, written around the bytes as they are: the bag
// holds the certificate in an OCTET STRING, so nothing needs to parse it.
// nullopt when `der` is not one DER element of type SEQUENCE.
std::optional<std::vector<std::uint8_t>> certificateBagOf(ByteView der) {
    DerCursor cursor(der);
    if (!cursor.read(0x30) || !cursor.empty()) return std::nullopt;
    DerBuilder builder;
    DerScope bag = builder.sequence();
    bag.addOid("1.2.840.113549.1.12.10.1.3");  // certBag
    DerScope value = bag.contextConstructed(0);
    DerScope certificateBag = value.sequence();
    certificateBag.addOid("1.2.840.113549.1.9.22.1");  // x509Certificate
    DerScope certificate = certificateBag.contextConstructed(0);
    certificate.addPrimitive(0x04, der);
    certificate.close();
    certificateBag.close();
    value.close();
    bag.close();
    return builder.finish();
}

}  // namespace

PfxWriter::PfxWriter(OSSL_LIB_CTX* library, const char* password, int length)
    : library_(library), password_(password), length_(password != nullptr ? length : 0) {}

Outcome<PKCS12_SAFEBAG*> PfxWriter::addKey(ByteView pkcs8) {
    const openssl::ErrorQueueScope errorQueue;
    if (pkcs8.empty() || pkcs8.size() > std::size_t(LONG_MAX)) return fail(errors::kNteBadKey);
    const unsigned char* cursor = pkcs8.data();
    openssl::Pkcs8 info(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, long(pkcs8.size())));
    if (!info || cursor != pkcs8.data() + pkcs8.size()) return fail(errors::kNteBadKey);
    PKCS12_SAFEBAG* bag =
        PKCS12_SAFEBAG_create_pkcs8_encrypt_ex(kEncryption, password_, length_, nullptr, 0,
                                               kPfxWriteIterations, info.get(), library_, nullptr);
    return pushOwned(keys_, bag);
}

Outcome<PKCS12_SAFEBAG*> PfxWriter::addCertificate(ByteView der) {
    const openssl::ErrorQueueScope errorQueue;
    std::optional<std::vector<std::uint8_t>> encoded = certificateBagOf(der);
    if (!encoded || encoded->size() > std::size_t(LONG_MAX)) return fail(errors::kCryptEBadEncode);
    const unsigned char* cursor = encoded->data();
    PKCS12_SAFEBAG* bag = d2i_PKCS12_SAFEBAG(nullptr, &cursor, long(encoded->size()));
    if (bag == nullptr) return fail(errors::kCryptEBadEncode);
    return pushOwned(certificates_, bag);
}

Outcome<Bytes> PfxWriter::finish() {
    const openssl::ErrorQueueScope errorQueue;
    openssl::AuthSafes safes(sk_PKCS7_new_null());
    if (!safes) return fail(errors::kNteNoMemory);
    if (certificates_) {
        PKCS7* encrypted =
            PKCS12_pack_p7encdata_ex(kEncryption, password_, length_, nullptr, 0,
                                     kPfxWriteIterations, certificates_.get(), library_, nullptr);
        if (encrypted == nullptr) return fail(errors::kNteFail);
        if (sk_PKCS7_push(safes.get(), encrypted) <= 0) {
            PKCS7_free(encrypted);
            return fail(errors::kNteNoMemory);
        }
    }
    if (keys_) {
        // Each key is encrypted in its own bag already.
        PKCS7* plain = PKCS12_pack_p7data(keys_.get());
        if (plain == nullptr) return fail(errors::kNteFail);
        if (sk_PKCS7_push(safes.get(), plain) <= 0) {
            PKCS7_free(plain);
            return fail(errors::kNteNoMemory);
        }
    }
    openssl::Pkcs12 pfx(PKCS12_add_safes_ex(safes.get(), NID_pkcs7_data, library_, nullptr));
    if (!pfx) return fail(errors::kNteFail);
    if (PKCS12_set_mac(pfx.get(), password_, length_, nullptr, 0, kPfxWriteIterations,
                       EVP_sha256()) != 1) {
        return fail(errors::kNteFail);
    }
    unsigned char* der = nullptr;
    int length = i2d_PKCS12(pfx.get(), &der);
    if (length <= 0) return fail(errors::kNteFail);
    openssl::OpenSslBytes owned(der);
    return Bytes(der, der + length);
}

Status copyAttributes(const PKCS12_SAFEBAG* from, PKCS12_SAFEBAG* to) {
    const openssl::ErrorQueueScope errorQueue;
    const STACK_OF(X509_ATTRIBUTE)* attributes = PKCS12_SAFEBAG_get0_attrs(from);
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(attributes); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(attributes, i);
        ASN1_OBJECT* type = X509_ATTRIBUTE_get0_object(attribute);
        char dotted[128];
        if (OBJ_obj2txt(dotted, sizeof dotted, type, 1) <= 0) return fail(errors::kCryptEBadEncode);
        for (int v = 0; v < X509_ATTRIBUTE_count(attribute); ++v) {
            const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, v);
            if (value == nullptr || value->type == V_ASN1_BOOLEAN) continue;
            // A length of -1 copies the value object as it is.
            if (PKCS12_add1_attr_by_txt(to, dotted, value->type,
                                        reinterpret_cast<const unsigned char*>(value->value.ptr),
                                        -1) != 1) {
                return fail(errors::kNteFail);
            }
        }
    }
    return Status::success();
}

}  // namespace pennaform::platform
