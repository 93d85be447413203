// RsaKeys_openssl: the key operations behind the POSIX key containers, on
// OpenSSL: making RSA key pairs, keeping a key as PKCS#8 bytes, the Windows
// key blobs, and signing a hash value the caller computed.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"
#include "platform/SecretBytes.h"
#include "platform/posix/OpenSslOwners.h"

namespace pennaform::platform {

namespace rsaKeys {

// The RSA modulus lengths a container accepts, in bits, in steps of 8.
inline constexpr std::uint32_t kMinimumBits = 384;
inline constexpr std::uint32_t kMaximumBits = 16384;

// generate: a new RSA key pair of `bits` bits with exponent 65537 and the
// private exponent taken modulo (p-1)(q-1), as Windows providers make it;
// NTE_FAIL when OpenSSL cannot make it (OpenSSL makes nothing below 512
// bits).
Outcome<openssl::Pkey> generate(OSSL_LIB_CTX* library, std::uint32_t bits);

// toPkcs8, fromPkcs8: a private key as unencrypted PKCS#8 PrivateKeyInfo
// DER, the form a container keeps it in, and back. fromPkcs8 fails with
// NTE_BAD_KEY for bytes that are not one key of that form.
Outcome<SecretBytes> toPkcs8(const EVP_PKEY* key);
Outcome<openssl::Pkey> fromPkcs8(OSSL_LIB_CTX* library, ByteView der);

// isRsa: whether `key` is an RSA key (a container may also hold another kind
// that came in a PFX file; the RSA operations below refuse those).
bool isRsa(const EVP_PKEY* key);

// publicKeyBlob: PUBLICKEYBLOB of the key, with ALG_ID `algorithm`.
// privateKeyBlob: PRIVATEKEYBLOB, likewise. Both fail with NTE_BAD_KEY for a
// key that is not RSA or whose exponent does not fit the blob's DWORD.
Outcome<Bytes> publicKeyBlob(const EVP_PKEY* key, AlgId algorithm);
Outcome<SecretBytes> privateKeyBlob(const EVP_PKEY* key, AlgId algorithm);

// subjectPublicKeyInfo: the DER SubjectPublicKeyInfo of the key.
Outcome<Bytes> subjectPublicKeyInfo(const EVP_PKEY* key);

// signHash: EMSA-PKCS1-v1_5 signature of `hash` with the DigestInfo of
// `algorithm` (MD5, SHA-1, SHA-256/384/512), least significant byte first.
// NTE_BAD_ALGID for another algorithm; NTE_BAD_LEN for a hash of the wrong
// length; NTE_BAD_KEY for a key that is not RSA.
Outcome<Bytes> signHash(OSSL_LIB_CTX* library, EVP_PKEY* key, AlgId algorithm, ByteView hash);

// decryptKeyTransport: the content key RSA PKCS#1 v1.5 (block type 2)
// wrapped for `key`; `wrapped` comes least significant byte first, as the
// providers take it. NTE_BAD_DATA for a length other than the modulus's or
// a padding that does not check (never a random key in its place);
// NTE_BAD_KEY for a key that is not RSA. The caller owns the key bytes.
Outcome<SecretBytes> decryptKeyTransport(OSSL_LIB_CTX* library, EVP_PKEY* key, ByteView wrapped);

}  // namespace rsaKeys
}  // namespace pennaform::platform
