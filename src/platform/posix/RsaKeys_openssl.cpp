#include "platform/posix/RsaKeys_openssl.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <climits>
#include <optional>

namespace pennaform::platform {

namespace rsaKeys {
// Each operation below drops the reasons OpenSSL queued for its failures
// (ErrorQueueScope), so they never reach the host's own OpenSSL calls.
namespace {

constexpr std::uint8_t kPublicKeyBlobType = 0x06;
constexpr std::uint8_t kPrivateKeyBlobType = 0x07;
constexpr std::uint8_t kBlobVersion = 0x02;
constexpr std::uint32_t kRsa1Magic = 0x31415352;  // "RSA1"
constexpr std::uint32_t kRsa2Magic = 0x32415352;  // "RSA2"

void appendDword(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(std::uint8_t(value >> shift));
}

openssl::BigNum bigNumParameter(const EVP_PKEY* key, const char* name) {
    BIGNUM* value = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &value) != 1) return nullptr;
    return openssl::BigNum(value);
}

// writeLittleEndian: `value` least significant byte first, zero-padded to
// fill `out`; false when it does not fit.
bool writeLittleEndian(std::span<std::uint8_t> out, const BIGNUM* value) {
    if (value == nullptr || out.size() > std::size_t(INT_MAX)) return false;
    return BN_bn2lebinpad(value, out.data(), int(out.size())) == int(out.size());
}

bool appendLittleEndian(Bytes& out, const BIGNUM* value, std::size_t width) {
    const std::size_t at = out.size();
    out.resize(at + width);
    return writeLittleEndian(std::span(out).subspan(at), value);
}

// BlobHead: what both blobs start with: the header, the magic, the bit
// length and the exponent. Also gives the field widths.
struct BlobHead {
    Bytes bytes;
    std::size_t modulusLen = 0;
    std::size_t halfLen = 0;
};

Outcome<BlobHead> blobHead(const EVP_PKEY* key, std::uint8_t type, std::uint32_t magic,
                           AlgId algorithm) {
    if (!isRsa(key)) return fail(errors::kNteBadKey);
    openssl::BigNum exponent = bigNumParameter(key, OSSL_PKEY_PARAM_RSA_E);
    int bits = EVP_PKEY_get_bits(key);
    if (!exponent || bits <= 0 || BN_num_bits(exponent.get()) > 32) {
        return fail(errors::kNteBadKey);
    }
    BlobHead head;
    head.modulusLen = (std::size_t(bits) + 7) / 8;
    head.halfLen = (head.modulusLen + 1) / 2;
    head.bytes = {type, kBlobVersion, 0, 0};
    appendDword(head.bytes, algorithm);
    appendDword(head.bytes, magic);
    appendDword(head.bytes, std::uint32_t(bits));
    appendDword(head.bytes, std::uint32_t(BN_get_word(exponent.get())));
    return head;
}

// digestFor: the digest of a hash algorithm the containers sign, and its
// length; nothing for another algorithm.
struct DigestChoice {
    const char* name;
    std::size_t length;
};
std::optional<DigestChoice> digestFor(AlgId algorithm) {
    switch (algorithm) {
        case algorithms::kMd5:
            return DigestChoice{"MD5", 16};
        case algorithms::kSha1:
            return DigestChoice{"SHA1", 20};
        case algorithms::kSha256:
            return DigestChoice{"SHA256", 32};
        case algorithms::kSha384:
            return DigestChoice{"SHA384", 48};
        case algorithms::kSha512:
            return DigestChoice{"SHA512", 64};
        default:
            return std::nullopt;
    }
}

using Digest = openssl::Owned<EVP_MD>;

}  // namespace

bool isRsa(const EVP_PKEY* key) {
    return key != nullptr && EVP_PKEY_is_a(key, "RSA") == 1;
}

namespace {

// withTotientExponent: `made` with its private exponent recomputed as
// d = e^-1 mod (p-1)(q-1), and dP, dQ from that d, as the Windows providers
// make keys. OpenSSL takes d modulo lcm(p-1, q-1), which a consumer that
// checks d*e = 1 mod (p-1)(q-1) rejects for most keys. The new d is checked
// before the key is made from it.
Outcome<openssl::Pkey> withTotientExponent(OSSL_LIB_CTX* library, const EVP_PKEY* made) {
    openssl::SecretBigNum p, q, n, e, qInv;
    for (auto [name, out] :
         {std::pair{OSSL_PKEY_PARAM_RSA_FACTOR1, &p}, std::pair{OSSL_PKEY_PARAM_RSA_FACTOR2, &q},
          std::pair{OSSL_PKEY_PARAM_RSA_N, &n}, std::pair{OSSL_PKEY_PARAM_RSA_E, &e},
          std::pair{OSSL_PKEY_PARAM_RSA_COEFFICIENT1, &qInv}}) {
        BIGNUM* value = nullptr;
        if (EVP_PKEY_get_bn_param(made, name, &value) != 1) return fail(errors::kNteFail);
        out->reset(value);
    }
    openssl::Owned<BN_CTX> numbers(BN_CTX_secure_new_ex(library));
    openssl::SecretBigNum pMinus1(BN_secure_new()), qMinus1(BN_secure_new()), phi(BN_secure_new()),
        d(BN_secure_new()), dP(BN_secure_new()), dQ(BN_secure_new()), check(BN_secure_new());
    if (!numbers || !check || !BN_sub(pMinus1.get(), p.get(), BN_value_one()) ||
        !BN_sub(qMinus1.get(), q.get(), BN_value_one()) ||
        !BN_mul(phi.get(), pMinus1.get(), qMinus1.get(), numbers.get()) ||
        !BN_mod_inverse(d.get(), e.get(), phi.get(), numbers.get()) ||
        !BN_mod(dP.get(), d.get(), pMinus1.get(), numbers.get()) ||
        !BN_mod(dQ.get(), d.get(), qMinus1.get(), numbers.get()) ||
        !BN_mod_mul(check.get(), d.get(), e.get(), phi.get(), numbers.get()) ||
        !BN_is_one(check.get())) {
        return fail(errors::kNteFail);
    }
    openssl::Owned<OSSL_PARAM_BLD> builder(OSSL_PARAM_BLD_new());
    if (!builder) return fail(errors::kNteFail);
    for (auto [name, value] :
         {std::pair{OSSL_PKEY_PARAM_RSA_N, n.get()}, std::pair{OSSL_PKEY_PARAM_RSA_E, e.get()},
          std::pair{OSSL_PKEY_PARAM_RSA_D, d.get()},
          std::pair{OSSL_PKEY_PARAM_RSA_FACTOR1, p.get()},
          std::pair{OSSL_PKEY_PARAM_RSA_FACTOR2, q.get()},
          std::pair{OSSL_PKEY_PARAM_RSA_EXPONENT1, dP.get()},
          std::pair{OSSL_PKEY_PARAM_RSA_EXPONENT2, dQ.get()},
          std::pair{OSSL_PKEY_PARAM_RSA_COEFFICIENT1, qInv.get()}}) {
        if (OSSL_PARAM_BLD_push_BN(builder.get(), name, value) != 1) {
            return fail(errors::kNteFail);
        }
    }
    openssl::Owned<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(builder.get()));
    openssl::PkeyContext context(EVP_PKEY_CTX_new_from_name(library, "RSA", nullptr));
    EVP_PKEY* rebuilt = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &rebuilt, EVP_PKEY_KEYPAIR, params.get()) != 1) {
        return fail(errors::kNteFail);
    }
    return openssl::Pkey(rebuilt);
}

}  // namespace

Outcome<openssl::Pkey> generate(OSSL_LIB_CTX* library, std::uint32_t bits) {
    const openssl::ErrorQueueScope errorQueue;
    openssl::PkeyContext context(EVP_PKEY_CTX_new_from_name(library, "RSA", nullptr));
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), int(bits)) != 1) {
        return fail(errors::kNteFail);
    }
    EVP_PKEY* made = nullptr;
    if (EVP_PKEY_generate(context.get(), &made) != 1) return fail(errors::kNteFail);
    return withTotientExponent(library, openssl::Pkey(made).get());
}

Outcome<SecretBytes> toPkcs8(const EVP_PKEY* key) {
    const openssl::ErrorQueueScope errorQueue;
    openssl::Pkcs8 info(EVP_PKEY2PKCS8(key));
    if (!info) return fail(errors::kNteBadKey);
    unsigned char* der = nullptr;
    int length = i2d_PKCS8_PRIV_KEY_INFO(info.get(), &der);
    if (length <= 0) return fail(errors::kNteBadKey);
    SecretBytes bytes = SecretBytes::copyOf(ByteView(der, std::size_t(length)));
    OPENSSL_clear_free(der, std::size_t(length));
    return bytes;
}

Outcome<openssl::Pkey> fromPkcs8(OSSL_LIB_CTX* library, ByteView der) {
    const openssl::ErrorQueueScope errorQueue;
    if (der.empty() || der.size() > std::size_t(LONG_MAX)) return fail(errors::kNteBadKey);
    const unsigned char* cursor = der.data();
    openssl::Pkcs8 info(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, long(der.size())));
    if (!info || cursor != der.data() + der.size()) return fail(errors::kNteBadKey);
    openssl::Pkey key(EVP_PKCS82PKEY_ex(info.get(), library, nullptr));
    if (!key) return fail(errors::kNteBadKey);
    return key;
}

Outcome<Bytes> publicKeyBlob(const EVP_PKEY* key, AlgId algorithm) {
    const openssl::ErrorQueueScope errorQueue;
    Outcome<BlobHead> head = blobHead(key, kPublicKeyBlobType, kRsa1Magic, algorithm);
    if (!head) return head.failure();
    openssl::BigNum modulus = bigNumParameter(key, OSSL_PKEY_PARAM_RSA_N);
    if (!appendLittleEndian(head->bytes, modulus.get(), head->modulusLen)) {
        return fail(errors::kNteBadKey);
    }
    return std::move(head->bytes);
}

Outcome<SecretBytes> privateKeyBlob(const EVP_PKEY* key, AlgId algorithm) {
    const openssl::ErrorQueueScope errorQueue;
    Outcome<BlobHead> head = blobHead(key, kPrivateKeyBlobType, kRsa2Magic, algorithm);
    if (!head) return head.failure();
    struct Field {
        const char* name;
        std::size_t width;
    };
    const Field fields[] = {
        {OSSL_PKEY_PARAM_RSA_N, head->modulusLen},
        {OSSL_PKEY_PARAM_RSA_FACTOR1, head->halfLen},
        {OSSL_PKEY_PARAM_RSA_FACTOR2, head->halfLen},
        {OSSL_PKEY_PARAM_RSA_EXPONENT1, head->halfLen},
        {OSSL_PKEY_PARAM_RSA_EXPONENT2, head->halfLen},
        {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, head->halfLen},
        {OSSL_PKEY_PARAM_RSA_D, head->modulusLen},
    };
    SecretBytes blob;
    blob.reserve(head->bytes.size() + 2 * head->modulusLen + 5 * head->halfLen);
    blob.append(head->bytes);
    for (const Field& field : fields) {
        BIGNUM* value = nullptr;
        if (EVP_PKEY_get_bn_param(key, field.name, &value) != 1) return fail(errors::kNteBadKey);
        openssl::SecretBigNum owned(value);
        // A key whose primes are not balanced has no blob form.
        if (!writeLittleEndian(blob.grow(field.width), owned.get())) {
            return fail(errors::kNteBadKey);
        }
    }
    return blob;
}

Outcome<Bytes> subjectPublicKeyInfo(const EVP_PKEY* key) {
    const openssl::ErrorQueueScope errorQueue;
    unsigned char* der = nullptr;
    int length = i2d_PUBKEY(key, &der);
    if (length <= 0) return fail(errors::kNteBadKey);
    openssl::OpenSslBytes owned(der);
    return Bytes(der, der + length);
}

Outcome<Bytes> signHash(OSSL_LIB_CTX* library, EVP_PKEY* key, AlgId algorithm, ByteView hash) {
    const openssl::ErrorQueueScope errorQueue;
    std::optional<DigestChoice> digest = digestFor(algorithm);
    if (!digest) return fail(errors::kNteBadAlgId);
    if (hash.size() != digest->length) return fail(errors::kNteBadLen);
    if (!isRsa(key)) return fail(errors::kNteBadKey);

    Digest md(EVP_MD_fetch(library, digest->name, nullptr));
    openssl::PkeyContext context(EVP_PKEY_CTX_new_from_pkey(library, key, nullptr));
    if (!md || !context || EVP_PKEY_sign_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(context.get(), md.get()) != 1) {
        return fail(errors::kNteFail);
    }
    std::size_t length = 0;
    if (EVP_PKEY_sign(context.get(), nullptr, &length, hash.data(), hash.size()) != 1) {
        return fail(errors::kNteFail);
    }
    Bytes signature(length);
    if (EVP_PKEY_sign(context.get(), signature.data(), &length, hash.data(), hash.size()) != 1) {
        return fail(errors::kNteFail);
    }
    signature.resize(length);
    std::reverse(signature.begin(), signature.end());  // Windows gives it LSB first
    return signature;
}

Outcome<SecretBytes> decryptKeyTransport(OSSL_LIB_CTX* library, EVP_PKEY* key, ByteView wrapped) {
    const openssl::ErrorQueueScope errorQueue;
    if (!isRsa(key)) return fail(errors::kNteBadKey);
    if (wrapped.size() != std::size_t(EVP_PKEY_get_size(key))) return fail(errors::kNteBadData);
    const Bytes bigEndian(wrapped.rbegin(), wrapped.rend());
    openssl::PkeyContext context(EVP_PKEY_CTX_new_from_pkey(library, key, nullptr));
    if (!context || EVP_PKEY_decrypt_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1) {
        return fail(errors::kNteFail);
    }
    // A bad padding must be an error, not a made-up key: OpenSSL releases
    // that answer a random key in its place unless told otherwise (those that
    // do not know the parameter ignore it).
    unsigned int implicitRejection = 0;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_uint("implicit-rejection", &implicitRejection), OSSL_PARAM_END};
    EVP_PKEY_CTX_set_params(context.get(), params);
    std::size_t length = bigEndian.size();
    SecretBytes buffer;
    std::span<std::uint8_t> out = buffer.grow(length);
    if (EVP_PKEY_decrypt(context.get(), out.data(), &length, bigEndian.data(), bigEndian.size()) !=
        1) {
        return fail(errors::kNteBadData);
    }
    return SecretBytes::copyOf(out.first(length));
}

}  // namespace rsaKeys
}  // namespace pennaform::platform
