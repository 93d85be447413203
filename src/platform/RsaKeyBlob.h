// RsaKeyBlob: the parts of a Windows PRIVATEKEYBLOB (BLOBHEADER, RSAPUBKEY
// "RSA2", then the numbers), read by the widths its bit length gives.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// PrivateKeyBlobParts: views into a blob; every number least significant
// byte first, as the blob holds it. modulus and privateExponent are
// (bits + 7) / 8 bytes, the other five (bits + 15) / 16.
struct PrivateKeyBlobParts {
    std::uint32_t bitLength = 0;
    std::uint32_t publicExponent = 0;
    ByteView modulus, prime1, prime2, exponent1, exponent2, coefficient, privateExponent;
};

// readPrivateKeyBlob: the parts of `blob`; nothing when it is not a
// PRIVATEKEYBLOB (type 7, magic "RSA2"), its bit length is 0, or it is
// shorter than the numbers that length asks for. Bytes after them are
// ignored, as the platform ignores them.
inline std::optional<PrivateKeyBlobParts> readPrivateKeyBlob(ByteView blob) {
    constexpr std::size_t kHeaderLen = 8 + 12;  // BLOBHEADER, RSAPUBKEY
    constexpr std::uint32_t kRsa2Magic = 0x32415352;
    const auto dword = [&](std::size_t at) {
        return std::uint32_t(blob[at]) | std::uint32_t(blob[at + 1]) << 8 |
               std::uint32_t(blob[at + 2]) << 16 | std::uint32_t(blob[at + 3]) << 24;
    };
    if (blob.size() < kHeaderLen || blob[0] != 0x07 || dword(8) != kRsa2Magic) return std::nullopt;
    PrivateKeyBlobParts parts;
    parts.bitLength = dword(12);
    parts.publicExponent = dword(16);
    const std::size_t full = (std::size_t(parts.bitLength) + 7) / 8;
    const std::size_t half = (std::size_t(parts.bitLength) + 15) / 16;
    if (parts.bitLength == 0 || blob.size() - kHeaderLen < 2 * full + 5 * half) return std::nullopt;
    std::size_t at = kHeaderLen;
    const auto take = [&](std::size_t width) {
        ByteView part = blob.subspan(at, width);
        at += width;
        return part;
    };
    parts.modulus = take(full);
    parts.prime1 = take(half);
    parts.prime2 = take(half);
    parts.exponent1 = take(half);
    parts.exponent2 = take(half);
    parts.coefficient = take(half);
    parts.privateExponent = take(full);
    return parts;
}

}  // namespace pennaform::platform
