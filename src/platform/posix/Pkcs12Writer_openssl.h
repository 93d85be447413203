// PfxWriter: writes PFX files in the modern scheme only: keys in shrouded key
// bags and certificates in an encrypted safe, both under PBES2 with
// PBKDF2-HMAC-SHA256 and AES-256-CBC, and a SHA-256 MAC; everything in the
// backend's own library context. Windows before 10 (1709) cannot read such
// files; every other current reader can.
#pragma once

#include <cstdint>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"
#include "platform/posix/OpenSslOwners.h"

namespace pennaform::platform {

// kPfxWriteIterations: the iteration count of every key derivation of a file
// this backend writes (the keys, the certificates' safe and the MAC). The
// fuzzing build writes within its own lowered reading caps, so that what it
// writes can be read back.
#ifdef PENNAFORM_FUZZING
inline constexpr int kPfxWriteIterations = 8;
#else
inline constexpr int kPfxWriteIterations = 2048;
#endif

class PfxWriter {
public:
    // PfxWriter: a file protected by `password` (UTF-8, `length` bytes; null
    // for the NULL password, which feeds the key derivation no bytes).
    PfxWriter(OSSL_LIB_CTX* library, const char* password, int length);

    // addKey: a shrouded key bag holding `pkcs8` (unencrypted PKCS#8 DER),
    // encrypted at once; the bag stays the writer's, and the caller may give
    // it attributes until finish(). NTE_BAD_KEY for bytes that are not a key,
    // NTE_FAIL when the encryption fails.
    Outcome<PKCS12_SAFEBAG*> addKey(ByteView pkcs8);
    // addCertificate: a certificate bag holding `der`, as addKey. The bytes
    // go into the bag as they are, unparsed (they come from stores and files
    // that were read as certificates); CRYPT_E_BAD_ENCODE for bytes that are
    // not one DER SEQUENCE.
    Outcome<PKCS12_SAFEBAG*> addCertificate(ByteView der);
    // finish: the file's DER, certificates in the order added, then keys in
    // the order added. NTE_FAIL when OpenSSL fails.
    Outcome<Bytes> finish();

private:
    OSSL_LIB_CTX* library_;
    const char* password_;
    int length_;
    openssl::SafeBags keys_;
    openssl::SafeBags certificates_;
};

// copyAttributes: gives `to` every attribute `from` carries (friendly name,
// local key id, provider name, key usage, ...), values as they are.
Status copyAttributes(const PKCS12_SAFEBAG* from, PKCS12_SAFEBAG* to);

}  // namespace pennaform::platform
