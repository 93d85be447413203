// SymmetricKeys: the platform's DES and Triple DES for keys the caller
// supplies. The key bytes are imported into a provider without opening a key
// container, as an import into a verify-context provider does on Windows, and
// live only as long as the returned key.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/KeyProviders.h"
#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

class SymmetricKeys {
public:
    virtual ~SymmetricKeys() = default;

    // importKey: imports `plaintextKeyBlob` (BLOBHEADER with bType 8
    // PLAINTEXTKEYBLOB, version 2 and ALG_ID DES, 3DES or 3DES_112; the key
    // size as a little-endian DWORD; the key bytes, parity bits included and
    // not checked) into provider `providerName` of type `providerType` (an
    // empty name means the type's default provider). The key, owned by the
    // caller, starts in CBC mode with an all-zero IV and PKCS#5 padding.
    // Failures: NTE_BAD_PROV_TYPE (type outside 1 to 999),
    // NTE_PROV_TYPE_NOT_DEF (no default provider for the type),
    // NTE_KEYSET_NOT_DEF (provider not installed), NTE_PROV_TYPE_NO_MATCH
    // (provider of another type), NTE_BAD_TYPE (not a PLAINTEXTKEYBLOB),
    // NTE_BAD_VER (version not 2), NTE_BAD_ALGID (another algorithm, or one
    // the provider lacks), NTE_BAD_DATA (a blob cut short, or a key size
    // that does not fit the algorithm: 8, 24 and 16 bytes).
    virtual Outcome<std::unique_ptr<SymmetricKey>> importKey(std::string_view providerName,
                                                             std::uint32_t providerType,
                                                             ByteView plaintextKeyBlob) = 0;
};

}  // namespace pennaform::platform
