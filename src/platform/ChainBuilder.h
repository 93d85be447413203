// ChainBuilder: the certificate chain of a certificate, built over the
// user's stores "MY", "CA" and "ROOT" and a store the caller adds, ending at
// a root, with the trust status Windows reports for it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

class CertificateStore;

// Bits of CertificateChain::errorStatus, the CERT_TRUST_*
// error status values.
namespace chainErrors {
inline constexpr std::uint32_t kNotTimeValid = 0x1;        // an element expired or not yet valid
inline constexpr std::uint32_t kNotTimeNested = 0x2;       // a validity outside its issuer's
inline constexpr std::uint32_t kRevoked = 0x4;             // an element is revoked
inline constexpr std::uint32_t kNotSignatureValid = 0x8;   // a signature does not verify
inline constexpr std::uint32_t kNotValidForUsage = 0x10;   // a usage forbids the chain
inline constexpr std::uint32_t kUntrustedRoot = 0x20;      // the root is not in "ROOT"
inline constexpr std::uint32_t kRevocationUnknown = 0x40;  // revocation not checked
inline constexpr std::uint32_t kInvalidBasicConstraints = 0x400;  // an issuer that is no CA
inline constexpr std::uint32_t kPartialChain = 0x10000;           // no root was reached
}  // namespace chainErrors

// CertificateChain: the chain built for a certificate: the certificate
// itself first, then each issuer, ending at the root or at the last
// certificate found; errorStatus is the OR of every trust bit of the chain
// and its elements, 0 for a complete chain to a trusted root.
struct CertificateChain {
    std::vector<Bytes> elements;
    std::uint32_t errorStatus = 0;
};

// ChainBuilder: builds chains as CertGetCertificateChain does with the
// default engine, no usage required and no revocation check.
class ChainBuilder {
public:
    virtual ~ChainBuilder() = default;

    // buildChain: the first simple chain of `certificate` (DER): the
    // certificate, then its issuers looked up in "MY", "CA", "ROOT" and
    // `extraStore` (a store opened through the same platform, or null), up to
    // a root of "ROOT" or the last issuer found (kPartialChain); validity
    // judged at `at` (null: now). A chain that is untrusted or invalid is
    // still a success; its errorStatus says why.
    // Failures, as CertGetCertificateChain gives them: CRYPT_E_ASN1_* or
    // CRYPT_E_BAD_ENCODE when `certificate` is not one; E_INVALIDARG for an
    // empty one; the stores' errors (ERROR_ACCESS_DENIED, ...) when they
    // cannot be read.
    virtual Outcome<CertificateChain> buildChain(ByteView certificate,
                                                 const CertificateStore* extraStore,
                                                 std::optional<FileTime> at) = 0;
};

}  // namespace pennaform::platform
