// Certificates: reading an X.509 certificate into the fields the component
// shows and compares, and building its chain of issuers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

class CertificateStore;

// Chain trust bits (CERT_TRUST_*), ORed into CertificateChain::errorStatus.
namespace trust {
inline constexpr std::uint32_t kIsNotTimeValid = 0x00000001;
inline constexpr std::uint32_t kIsRevoked = 0x00000004;
inline constexpr std::uint32_t kIsNotSignatureValid = 0x00000008;
inline constexpr std::uint32_t kIsNotValidForUsage = 0x00000010;
inline constexpr std::uint32_t kIsUntrustedRoot = 0x00000020;
inline constexpr std::uint32_t kIsCyclic = 0x00000080;
inline constexpr std::uint32_t kInvalidExtension = 0x00000100;
inline constexpr std::uint32_t kInvalidBasicConstraints = 0x00000400;
inline constexpr std::uint32_t kIsPartialChain = 0x00010000;
}  // namespace trust

// CertificateInfo: the fields of one certificate. Texts are 8-bit in the
// process code page.
struct CertificateInfo {
    // subjectName, issuerName: the name as CertNameToStrA renders it with
    // CERT_X500_NAME_STR | CERT_NAME_STR_NO_QUOTING_FLAG: RDNs in encoded
    // order joined by ", ", attributes of one RDN by " + ", keys such as C,
    // O, OU, CN, E (OID.n.n for an unknown one), values never quoted.
    std::string subjectName;
    std::string issuerName;
    // subjectCommonName, issuerCommonName: the common-name attribute as
    // CertGetNameStringA(CERT_NAME_ATTR_TYPE, "2.5.4.3") gives it: the last
    // one in encoded order when there are several, looked up in the first
    // directoryName of the subject (issuer) alternative name when the name
    // is empty; empty when there is none.
    std::string subjectCommonName;
    std::string issuerCommonName;
    // serialNumber: the serial's content octets most significant first, as
    // encoded (a leading zero byte is kept).
    Bytes serialNumber;
    // thumbprint: the SHA-1 hash of the whole encoding, 20 bytes.
    Bytes thumbprint;
    // keyUsage: the first byte of the key-usage bit string (0x80
    // digitalSignature ... 0x01 encipherOnly), 0 for an empty one; nullopt
    // without the extension or when it does not decode.
    std::optional<std::uint8_t> keyUsage;
    // notBefore, notAfter: the validity bounds, both inclusive.
    FileTime notBefore;
    FileTime notAfter;
};

// CertificateChain: the chain built for a certificate: the certificate
// itself first, then each issuer, ending at the root or at the last
// certificate found; errorStatus is the OR of every trust bit of the chain
// and its elements, 0 for a complete chain to a trusted root.
struct CertificateChain {
    std::vector<Bytes> elements;
    std::uint32_t errorStatus = 0;
};

// timeValidity: where `at` lies against the certificate's validity, as
// CertVerifyTimeValidity answers: -1 before notBefore, +1 after notAfter, 0
// within (both bounds inclusive).
constexpr int timeValidity(const CertificateInfo& certificate, FileTime at) {
    if (at < certificate.notBefore) return -1;
    if (at > certificate.notAfter) return 1;
    return 0;
}

// Certificates: the certificate reader. Stateless; safe to share.
class Certificates {
  public:
    virtual ~Certificates() = default;

    // parse: the fields of the DER certificate `der`. Fails with
    // CRYPT_E_ASN1_BADTAG, CRYPT_E_ASN1_EOD, CRYPT_E_ASN1_CORRUPT or
    // CRYPT_E_BAD_ENCODE when the bytes are not a certificate.
    virtual Outcome<CertificateInfo> parse(ByteView der) const = 0;
    // rsaPublicKeyBlob: the certificate's RSA public key as a PUBLICKEYBLOB
    // with ALG_ID CALG_RSA_KEYX whatever its key usage (the
    // RSA_CSP_PUBLICKEYBLOB decoding). Fails with the parse errors, and with
    // CRYPT_E_ASN1_BADTAG when the key is not an RSA key.
    virtual Outcome<Bytes> rsaPublicKeyBlob(ByteView der) const = 0;
    // buildChain: the chain of `der` at time `at`, its issuers looked up in
    // the current user's "CA" and "ROOT" stores and in `extraStore` (may be
    // null; a store opened through the same platform), trusted roots being
    // those of "ROOT". No revocation check and no usage check are made. An
    // incomplete or untrusted chain is a success with trust bits set; a
    // failure means the chain could not be built at all.
    virtual Outcome<CertificateChain> buildChain(ByteView der, const CertificateStore* extraStore,
                                                 FileTime at) const = 0;
};

}  // namespace pennaform::platform
