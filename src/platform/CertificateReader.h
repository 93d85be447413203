// CertificateReader: reading an X.509 certificate into the fields the
// component shows and compares.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

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

// timeValidity: where `at` lies against the certificate's validity, as
// CertVerifyTimeValidity answers: -1 before notBefore, +1 after notAfter, 0
// within (both bounds inclusive).
constexpr int timeValidity(const CertificateInfo& certificate, FileTime at) {
    if (at < certificate.notBefore) return -1;
    if (at > certificate.notAfter) return 1;
    return 0;
}

// CertificateReader: stateless; safe to share.
class CertificateReader {
public:
    virtual ~CertificateReader() = default;

    // parse: the fields of the DER certificate `der`. Fails with
    // CRYPT_E_ASN1_BADTAG, CRYPT_E_ASN1_EOD, CRYPT_E_ASN1_CORRUPT or
    // CRYPT_E_BAD_ENCODE when the bytes are not a certificate.
    virtual Outcome<CertificateInfo> parse(ByteView der) const = 0;
    // rsaPublicKeyBlob: the certificate's RSA public key as a PUBLICKEYBLOB
    // with ALG_ID CALG_RSA_KEYX whatever its key usage (the
    // RSA_CSP_PUBLICKEYBLOB decoding). Fails with the parse errors, and with
    // CRYPT_E_ASN1_BADTAG when the key is not an RSA key.
    virtual Outcome<Bytes> rsaPublicKeyBlob(ByteView der) const = 0;
};

}  // namespace pennaform::platform
