// PlaintextKeyBlob: the key blob SymmetricKeys::importKey takes.
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// plaintextKeyBlob: the PLAINTEXTKEYBLOB of `key` under `algorithm`: bType 8,
// version 2, reserved 0, the ALG_ID and the key size as little-endian DWORDs,
// then the key. It holds the key: the caller wipes it after use.
inline Bytes plaintextKeyBlob(AlgId algorithm, ByteView key) {
    Bytes blob = {8, 2, 0, 0};
    for (std::uint32_t field : {std::uint32_t(algorithm), std::uint32_t(key.size())}) {
        for (int shift = 0; shift < 32; shift += 8) blob.push_back(std::uint8_t(field >> shift));
    }
    blob.insert(blob.end(), key.begin(), key.end());
    return blob;
}

}  // namespace pennaform::platform
