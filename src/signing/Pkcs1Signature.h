// Pkcs1Signature: what a signature by the current signer needs besides the
// signer itself: the bytes of the caller's text, the digest the flags
// choose, the user's consent when asked for, and the provider's signature
// of a finished digest. SignPkcs1 uses all of it, SignedData the text, the
// consent and the signature.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Platform.h"
#include "signing/LocateSigner.h"

namespace pennaform {

// Bits of SignPkcs1's and SignPkcs7's dwFlags read here.
namespace signFlags {
inline constexpr std::int32_t kBase64 = 0x0100;         // SignPkcs1: Base64, not hex
inline constexpr std::int32_t kAnsiText = 0x0800;       // the text in the process code page
inline constexpr std::int32_t kMd5 = 0x1000;            // digest MD5
inline constexpr std::int32_t kSha1OfMd5 = 0x2000;      // SignPkcs1: SHA-1 of the MD5 digest
inline constexpr std::int32_t kProviderOrder = 0x4000;  // SignPkcs1: keep the provider's order
inline constexpr std::int32_t kConfirm = 0x8000;        // ask the user first
}  // namespace signFlags

// ContentDigest: a digest and the platform algorithm that names it.
struct ContentDigest {
    platform::AlgId algorithm = 0;
    platform::Bytes value;
};

// signedContent: the bytes a signature covers: with kAnsiText the text in
// the process code page up to its first U+0000, otherwise its UTF-16LE code
// units, no terminator either way.
platform::Bytes signedContent(std::u16string_view text, std::int32_t flags);

// digestOf: the component's own digest `algorithm` (MD5, SHA-1 or SHA-256)
// of `bytes`.
ContentDigest digestOf(platform::AlgId algorithm, platform::ByteView bytes);

// pkcs1Digest: the digest SignPkcs1 signs: kMd5 MD5; kSha1OfMd5 SHA-1 of the
// MD5 digest; else SHA-256 on a SHA-2 capable Enroller; else SHA-1.
ContentDigest pkcs1Digest(platform::ByteView content, std::int32_t flags, bool sha2Capable);

// confirmSigning: with kConfirm, the signing confirmation showing the text
// and the certificate's serial, common name and validity: 0 to go on, 5070
// when the user declines, 5002 when it cannot be shown. Without kConfirm 0.
SigningResult confirmSigning(platform::Platform& platform, std::int32_t flags,
                             std::u16string_view text, platform::ByteView certificate);

// signDigest: the signer's key signs `digest` as a hash value of
// `algorithm` (PKCS#1 v1.5); the signature in the provider's order, least
// significant byte first. 5061 with the platform's error when it fails; a
// failure of the signature itself (not of an algorithm or length the
// provider refuses first) also releases the signing cache.
SigningResult signDigest(SignerState& signer, const LocatedSigner& located,
                         const ContentDigest& digest, platform::Bytes& outSignature);

}  // namespace pennaform
