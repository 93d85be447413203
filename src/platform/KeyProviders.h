// KeyProviders: the named cryptographic providers and their key containers,
// where RSA key pairs are made, kept and used, and where an imported
// symmetric key encrypts and decrypts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"
#include "platform/SecretBytes.h"

namespace pennaform::platform {

// Flags of generateKeyPair (the low bits of CryptGenKey's flags).
namespace keyFlags {
inline constexpr std::uint32_t kExportable = 0x0001;     // CRYPT_EXPORTABLE
inline constexpr std::uint32_t kUserProtected = 0x0002;  // CRYPT_USER_PROTECTED
inline constexpr std::uint32_t kArchivable = 0x4000;     // CRYPT_ARCHIVABLE
}  // namespace keyFlags

// Cipher modes of SymmetricKey::setMode (KP_MODE values).
namespace cipherModes {
inline constexpr std::uint32_t kCbc = 1;
inline constexpr std::uint32_t kEcb = 2;
inline constexpr std::uint32_t kOfb = 3;
inline constexpr std::uint32_t kCfb = 4;
}  // namespace cipherModes

// ProviderInfo: one installed provider: its name and provider type.
struct ProviderInfo {
    std::string name;
    std::uint32_t type = 0;
    friend bool operator==(const ProviderInfo&, const ProviderInfo&) = default;
};

// ContainerRef: names a key container. `container` empty means the user's
// default container (named after the user's login name); `provider` empty
// means the default provider of `providerType`. Names are 8-bit text in the
// process code page.
struct ContainerRef {
    std::string container;
    std::string provider;
    std::uint32_t providerType = 0;
};

// CipherOutput: what one decryption step leaves: the bytes and the platform
// error (0 on success). A final block whose padding is not valid gives
// NTE_BAD_DATA with `bytes` still holding the whole decrypted input, bad tail
// included, because that is what the caller finds in its buffer on Windows.
// Any other failure leaves `bytes` empty.
struct [[nodiscard]] CipherOutput {
    Bytes bytes;
    PlatformError error = errors::kSuccess;
    bool ok() const { return error == errors::kSuccess; }
};

// SymmetricKey: a DES or Triple-DES key imported by
// SymmetricKeys::importKey into a provider (no key container is opened),
// with the chaining state carried from one call to the next. It starts in CBC
// mode with an all-zero IV and PKCS#5 padding. The key bytes never leave the
// object and live only as long as it does.
class SymmetricKey {
public:
    virtual ~SymmetricKey() = default;

    // setIv: sets the 8-byte initialisation vector and restarts chaining from
    // it. Another length fails with NTE_BAD_LEN and changes nothing.
    virtual Status setIv(ByteView iv) = 0;
    // setMode: sets the cipher mode (cipherModes). A mode outside 1 to 4, or
    // one the backend does not offer, fails with NTE_BAD_DATA.
    virtual Status setMode(std::uint32_t mode) = 0;
    // encrypt: encrypts `data` as the next part of the message. Not final:
    // `data` must be whole 8-byte blocks (NTE_BAD_DATA otherwise). Final: 1 to
    // 8 bytes of PKCS#5 padding are added (a whole block when `data` is
    // already whole blocks), so the output is (len/8 + 1) * 8 bytes, and
    // chaining restarts from the IV.
    virtual Outcome<Bytes> encrypt(ByteView data, bool final) = 0;
    // decrypt: decrypts `data` as the next part of the message. Not final:
    // whole blocks only (NTE_BAD_DATA). Final: at least one byte (NTE_BAD_LEN
    // for none), whole blocks, and the padding is checked and removed; on bad
    // padding see CipherOutput. Chaining restarts from the IV after a final
    // call, whatever its result.
    virtual CipherOutput decrypt(ByteView data, bool final) = 0;
};

// RsaKey: a handle on the RSA key pair in one slot of a container, as
// generateKeyPair and userKey hand it out. Destroying the handle of an
// archivable key ends its export window for good.
class RsaKey {
public:
    virtual ~RsaKey() = default;

    // keySpec: the slot the key occupies.
    virtual KeySpec keySpec() const = 0;
    // exportPublicKeyBlob: the public key as a PUBLICKEYBLOB: BLOBHEADER
    // (bType 6, version 2, the key's own ALG_ID), RSAPUBKEY ("RSA1", bit
    // length, exponent), modulus least significant byte first. Always allowed.
    virtual Outcome<Bytes> exportPublicKeyBlob() const = 0;
    // exportPrivateKeyBlob: the key pair as a PRIVATEKEYBLOB (bType 7,
    // "RSA2", modulus, p, q, dP, dQ, qInv, d, each little-endian at its fixed
    // width). Allowed for a key made or imported exportable, and for an
    // archivable key through the handle generateKeyPair returned while that
    // handle lives; otherwise NTE_BAD_KEY_STATE. A user-protected key asks the
    // user first (refusal: ERROR_CANCELLED; no way to ask:
    // NTE_SILENT_CONTEXT), except through the handle generateKeyPair
    // returned, the user having allowed the key as it was made. The bytes
    // hold private-key material: the caller owns them, and they are wiped
    // when dropped.
    virtual Outcome<SecretBytes> exportPrivateKeyBlob() const = 0;
    // setCertificate: stores a certificate's DER encoding with the key
    // (KP_CERTIFICATE), for providers that keep certificates beside their
    // keys, such as smart cards. A provider that keeps none fails with its own
    // error.
    virtual Status setCertificate(ByteView certificateDer) = 0;
};

// KeyContainer: an open key container of one provider. Keys made under it
// are kept in the container when the call that makes them returns.
class KeyContainer {
public:
    virtual ~KeyContainer() = default;

    // name, providerName, providerType: the container as opened, with the
    // default names filled in where the ContainerRef left them empty.
    virtual const std::string& name() const = 0;
    virtual const std::string& providerName() const = 0;
    virtual std::uint32_t providerType() const = 0;

    // generateKeyPair: makes a new RSA key pair of `bits` bits (0: the
    // provider's default) in slot `spec`, replacing a key already there, and
    // returns its handle, which the caller owns. `flags` are keyFlags bits. A
    // length outside 384 to 16384 bits in steps of 8 fails with NTE_BAD_FLAGS;
    // a container whose keys the user may not write (a read-only home) with
    // NTE_PERM (0x80090010). A user-protected key asks the user before it is
    // made (ERROR_CANCELLED, NTE_SILENT_CONTEXT as for its uses). The private
    // exponent is d = e^-1 mod (p-1)(q-1), as the Windows providers make it.
    virtual Outcome<std::unique_ptr<RsaKey>> generateKeyPair(KeySpec spec, std::uint32_t bits,
                                                             std::uint32_t flags) = 0;
    // userKey: a new handle on the key pair in slot `spec` (never an
    // archivable key's export window); NTE_NO_KEY when the slot is empty.
    virtual Outcome<std::unique_ptr<RsaKey>> userKey(KeySpec spec) = 0;
    // publicKeyInfo: the DER SubjectPublicKeyInfo of the key in slot `spec`
    // (rsaEncryption with NULL parameters, RSAPublicKey in the bit string),
    // as CryptExportPublicKeyInfo encodes it; NTE_NO_KEY when the slot is
    // empty.
    virtual Outcome<Bytes> publicKeyInfo(KeySpec spec) const = 0;
    // signHash: signs a hash value the caller computed, with the key in slot
    // `spec`, as EMSA-PKCS1-v1_5 with the DigestInfo of `hashAlgorithm`
    // (MD5, SHA-1, SHA-256/384/512). The signature has the modulus length and
    // comes back least significant byte first (reverse it for PKCS#1).
    // Failures: NTE_BAD_ALGID for an algorithm the provider lacks (a type-1
    // provider has no SHA-2); NTE_BAD_LEN when `hash` does not have the
    // algorithm's length; NTE_NO_KEY for an empty slot; ERROR_CANCELLED when
    // the user refuses a user-protected key, NTE_SILENT_CONTEXT when no one
    // can be asked.
    virtual Outcome<Bytes> signHash(KeySpec spec, AlgId hashAlgorithm, ByteView hash) = 0;
    // decryptKey: unwraps a content-encryption key that was encrypted with
    // RSA PKCS#1 v1.5 (block type 2) for the public key in slot `spec`, as
    // CryptDecrypt does for a PKCS#7 recipient. `wrapped` has the modulus
    // length and comes least significant byte first, the provider's order
    // (reverse a PKCS#7 encryptedKey first). The result is the key's bytes,
    // which the caller owns and should wipe after use. Failures: NTE_BAD_KEY
    // for a key in the AT_SIGNATURE slot, which may not decrypt; NTE_BAD_DATA
    // for a wrong length or padding; NTE_NO_KEY for an empty slot;
    // ERROR_CANCELLED when the user refuses a user-protected key,
    // NTE_SILENT_CONTEXT when no one can be asked.
    virtual Outcome<Bytes> decryptKey(KeySpec spec, ByteView wrapped) = 0;
};

// KeyProviders: the installed providers and the user's key containers. All
// RSA providers share one container namespace per user, as on Windows, so a
// container made through one can be opened through another.
class KeyProviders {
public:
    virtual ~KeyProviders() = default;

    // providers: the installed providers in enumeration order (ascending by
    // name, ignoring case). Cannot fail: a provider that cannot be read is
    // left out.
    virtual std::vector<ProviderInfo> providers() const = 0;
    // openContainer: opens an existing container; the caller owns the
    // result. Failures: NTE_BAD_PROV_TYPE (type outside 1 to 999),
    // NTE_PROV_TYPE_NOT_DEF (no default provider for the type),
    // NTE_KEYSET_NOT_DEF (provider not installed), NTE_PROV_TYPE_NO_MATCH
    // (provider of another type), NTE_BAD_KEYSET (no such container).
    virtual Outcome<std::unique_ptr<KeyContainer>> openContainer(const ContainerRef& ref) = 0;
    // createContainer: creates an empty container and opens it; the provider
    // failures of openContainer, NTE_EXISTS when the name is taken, and
    // NTE_PERM (0x80090010) when the user's containers may not be written (a
    // read-only home).
    virtual Outcome<std::unique_ptr<KeyContainer>> createContainer(const ContainerRef& ref) = 0;
    // deleteContainer: deletes a container with its keys; the provider
    // failures of openContainer, NTE_BAD_KEYSET when there is none, NTE_PERM
    // (0x80090010) when the user's containers may not be written.
    // Certificates bound to it keep their key-provider information.
    virtual Status deleteContainer(const ContainerRef& ref) = 0;
};

}  // namespace pennaform::platform
