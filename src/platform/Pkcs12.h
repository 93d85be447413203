// Pkcs12: PFX (PKCS#12) files: recognising one, checking its password,
// importing it into a memory store with its keys, and writing a store out.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/CertificateStores.h"
#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// Flags of importPfx (PFXImportCertStore values).
namespace pfxImportFlags {
inline constexpr std::uint32_t kExportable = 0x0001;     // CRYPT_EXPORTABLE
inline constexpr std::uint32_t kUserProtected = 0x0002;  // CRYPT_USER_PROTECTED
// kNoPersistKey: the keys live in this process only (PKCS12_NO_PERSIST_KEY).
inline constexpr std::uint32_t kNoPersistKey = 0x8000;
}  // namespace pfxImportFlags

// Flags of exportPfx (PFXExportCertStore values).
namespace pfxExportFlags {
inline constexpr std::uint32_t kReportNoPrivateKey = 0x0001;
inline constexpr std::uint32_t kReportNotAbleToExportPrivateKey = 0x0002;
inline constexpr std::uint32_t kExportPrivateKeys = 0x0004;
}  // namespace pfxExportFlags

// PfxPassword: a PFX password in UTF-16. nullopt is the NULL password (no
// bytes fed to the key derivation), "" the empty one (a 2-byte terminator):
// two different passwords, as on Windows.
using PfxPassword = std::optional<std::u16string>;

// Pkcs12: the PFX service.
class Pkcs12 {
public:
    virtual ~Pkcs12() = default;

    // isPfx: true when the outer encoding is a PFX (version, authSafe,
    // optional macData); neither the password nor the inner layers are checked.
    virtual bool isPfx(ByteView pfx) const = 0;
    // verifyPassword: true when the file's integrity check verifies with
    // `password` exactly as given (no fallback between NULL and empty).
    virtual bool verifyPassword(ByteView pfx, const PfxPassword& password) const = 0;
    // importPfx: a new memory store holding every certificate of the file,
    // owned by the caller. Each private key goes into a new key container of
    // the current user with a unique name, made exportable and user-protected
    // as `flags` (pfxImportFlags) ask; every certificate whose local key id
    // matches a key gets key-provider information naming that container, and
    // a friendlyName attribute becomes its friendly name (a certificate
    // without a local key id goes with the key that fits its public key). A
    // key no certificate goes with is not imported, since nothing would name
    // its container. With an empty or NULL password the encrypted layers are
    // also tried under the other empty convention, as tools disagree on
    // which they write. The containers outlive the store: deleting them is
    // the caller's business; a failed import leaves none. With kNoPersistKey
    // the containers are held by the key service of this process and never
    // written anywhere: they open, sign and export there as persisted ones
    // do, and are gone, their keys wiped, once deleted or when the platform
    // closes, so a process that dies leaves no key behind. Failures:
    // ERROR_INVALID_PASSWORD for a wrong password or contents that cannot be
    // decrypted; CRYPT_E_BAD_ENCODE or CRYPT_E_ASN1_* for a malformed file;
    // the key service's errors when a container cannot be made.
    virtual Outcome<std::unique_ptr<CertificateStore>> importPfx(ByteView pfx,
                                                                 const PfxPassword& password,
                                                                 std::uint32_t flags) = 0;
    // exportPfx: the PFX encoding of every certificate of `store` (a store
    // opened through the same platform), in the store's order with its
    // friendly name, protected by `password`; the caller owns the bytes.
    // With kExportPrivateKeys each certificate's private key is included
    // where it has one and it can be exported, under a local key id shared
    // with its certificate and with its provider's name. Failures:
    // kReportNoPrivateKey and a certificate without a reachable key:
    // NTE_NO_KEY; kReportNotAbleToExportPrivateKey and a key that may not be
    // exported: NTE_BAD_KEY (without these flags the key is left out); a
    // user-protected key the user refuses: ERROR_CANCELLED (no one to ask:
    // NTE_SILENT_CONTEXT).
    virtual Outcome<Bytes> exportPfx(const CertificateStore& store, const PfxPassword& password,
                                     std::uint32_t flags) = 0;
    // changePassword: the PFX file `pfx`, opened with `oldPassword` (the
    // empty and NULL conventions tried as importPfx tries them), written
    // again under `newPassword`: every key, keys no certificate goes with
    // included, and every certificate, in their order and with their
    // attributes (friendly names, local key ids, provider names). No key
    // container is made. The failures of importPfx.
    virtual Outcome<Bytes> changePassword(ByteView pfx, const PfxPassword& oldPassword,
                                          const PfxPassword& newPassword) = 0;
};

}  // namespace pennaform::platform
