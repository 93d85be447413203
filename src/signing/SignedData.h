// SignedData: the PKCS#7 SignedData (RFC 2315 §9) of SignPkcs7, written by
// the component itself with DerNode: one signer, identified by issuer and
// serial number, the digest the flags choose, the content inside or
// detached, the signer's certificate, its chain or none, and on request the
// authenticated attributes contentType, signingTime and messageDigest.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/ChainBuilder.h"
#include "platform/FileTimes.h"
#include "platform/Outcome.h"
#include "signing/LocateSigner.h"
#include "signing/Pkcs1Signature.h"

namespace pennaform {

// Bits of SignPkcs7's dwFlags read here (the text and digest bits are
// signFlags').
namespace signedDataFlags {
inline constexpr std::int32_t kNoCertificates = 0x0100;
inline constexpr std::int32_t kChain = 0x0200;
inline constexpr std::int32_t kDetached = 0x0400;
inline constexpr std::int32_t kAttributes = 0x2000;
}  // namespace signedDataFlags

// SignedDataRequest: what buildSignedData signs and with what.
struct SignedDataRequest {
    platform::ByteView content;        // the bytes signed
    platform::ByteView certificate;    // the signer's certificate (DER)
    std::int32_t flags = 0;            // signedDataFlags and signFlags::kMd5
    bool sha2Capable = false;          // the Enroller's: SHA-256 unless MD5
    platform::SystemTime signingTime;  // UTC, for the signingTime attribute
    // sign: the signer's key signs a finished digest; the signature in the
    // provider's order (least significant byte first).
    std::function<SigningResult(const ContentDigest&, platform::Bytes&)> sign;
    // chain: the signer certificate's chain, for kChain.
    std::function<platform::Outcome<platform::CertificateChain>()> chain;
};

// SignedDataResult: the DER ContentInfo, or the code that stopped it: 5040
// for a certificate that does not decode, the codes of `sign`, 5202 for a
// chain that is missing or not acceptable, 5305 with the number of the
// encoding step that failed as the platform error.
struct SignedDataResult {
    SigningResult result;
    platform::Bytes der;
};

// acceptableChain: the chains SignPkcs7 takes: no error; or any that has an
// element out of its validity (0x1, 0x2); or an untrusted root (0x20) that is
// neither revoked (0x4), badly signed (0x8) nor barred by a usage (0x10).
bool acceptableChain(std::uint32_t errorStatus);

SignedDataResult buildSignedData(const SignedDataRequest& request);

}  // namespace pennaform
