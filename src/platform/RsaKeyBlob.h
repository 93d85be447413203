// RsaKeyBlob: reading the numbers of an RSA PRIVATEKEYBLOB, the layout in
// which a key container exports a key pair: BLOBHEADER (8 bytes), RSAPUBKEY
// (magic, bit length L, public exponent), then modulus (L/8 bytes), prime1,
// prime2, exponent1, exponent2, coefficient (L/16 bytes each) and the private
// exponent (L/8 bytes), every number least significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// RsaPrivateKeyBlobFields: views into the blob read (valid while it lives);
// each number little-endian at the width the blob's bit length gives.
struct RsaPrivateKeyBlobFields {
    std::uint32_t magic = 0;
    std::uint32_t bitLength = 0;
    std::uint32_t publicExponent = 0;
    ByteView modulus;
    ByteView prime1;
    ByteView prime2;
    ByteView exponent1;
    ByteView exponent2;
    ByteView coefficient;
    ByteView privateExponent;
};

// readRsaPrivateKeyBlob: the fields of `blob`, their widths taken from the
// bit length stored in it (never from what the caller expects); nullopt when
// the blob is shorter than those widths need. Bytes after the last field are
// left alone. The header's type and the magic are not checked.
inline std::optional<RsaPrivateKeyBlobFields> readRsaPrivateKeyBlob(ByteView blob) {
    constexpr std::size_t kHeaderLen = 8;
    constexpr std::size_t kFieldsAt = kHeaderLen + 12;
    if (blob.size() < kFieldsAt) return std::nullopt;
    auto dword = [&](std::size_t at) {
        return std::uint32_t(blob[at]) | std::uint32_t(blob[at + 1]) << 8 |
               std::uint32_t(blob[at + 2]) << 16 | std::uint32_t(blob[at + 3]) << 24;
    };
    RsaPrivateKeyBlobFields fields;
    fields.magic = dword(kHeaderLen);
    fields.bitLength = dword(kHeaderLen + 4);
    fields.publicExponent = dword(kHeaderLen + 8);
    const std::size_t wide = fields.bitLength / 8;
    const std::size_t half = fields.bitLength / 16;
    if (blob.size() - kFieldsAt < 2 * wide + 5 * half) return std::nullopt;
    ByteView rest = blob.subspan(kFieldsAt);
    auto take = [&](std::size_t width) {
        ByteView field = rest.first(width);
        rest = rest.subspan(width);
        return field;
    };
    fields.modulus = take(wide);
    fields.prime1 = take(half);
    fields.prime2 = take(half);
    fields.exponent1 = take(half);
    fields.exponent2 = take(half);
    fields.coefficient = take(half);
    fields.privateExponent = take(wide);
    return fields;
}

}  // namespace pennaform::platform
