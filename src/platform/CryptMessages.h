// CryptMessages: PKCS#7 messages: reading the certificates and content of
// one, and enveloping content for recipient certificates and opening it again.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

class CertificateStore;

// Content-encryption algorithms of encryptMessage, by object identifier.
namespace contentAlgorithms {
inline constexpr std::string_view kDesCbc = "1.3.14.3.2.7";
inline constexpr std::string_view kDesEde3Cbc = "1.2.840.113549.3.7";
inline constexpr std::string_view kRc4 = "1.2.840.113549.3.4";
}  // namespace contentAlgorithms

// CryptMessages: the PKCS#7 service. Input may be BER, as other tools write it.
class CryptMessages {
public:
    virtual ~CryptMessages() = default;

    // messageCertificates: the DER encodings of the certificates a message
    // carries, in the order it carries them (none is a success with an empty
    // list). Fails with CRYPT_E_ASN1_*, CRYPT_E_BAD_ENCODE or CRYPT_E_BAD_MSG
    // when the bytes are not a PKCS#7 message.
    virtual Outcome<std::vector<Bytes>> messageCertificates(ByteView message) const = 0;
    // messageContent: the inner content of a data or signed-data message
    // (empty for detached content); the parse errors of
    // messageCertificates, and CRYPT_E_INVALID_MSG_TYPE for another type.
    virtual Outcome<Bytes> messageContent(ByteView message) const = 0;
    // encryptMessage: the DER ContentInfo of an EnvelopedData (version 0)
    // that carries `plaintext` encrypted under a fresh content key with
    // `contentAlgorithm` (contentAlgorithms; the algorithm's default key
    // length and a random IV), and that key wrapped with RSA PKCS#1 v1.5 for
    // each recipient certificate in order, named by issuer and serial.
    // Failures: CRYPT_E_UNKNOWN_ALGO for another algorithm; E_INVALIDARG for
    // no recipients; the parse errors of CertificateReader::parse for a recipient
    // that is not a certificate.
    virtual Outcome<Bytes> encryptMessage(const std::vector<Bytes>& recipients,
                                          std::string_view contentAlgorithm,
                                          ByteView plaintext) = 0;
    // decryptMessage: the content of an EnvelopedData message, opened with
    // the private key of the first certificate of `keyStore` (a store opened
    // through the same platform) that matches a recipient by issuer and
    // serial and whose key can be acquired (which may cache the key on the
    // certificate, so the store is not const). Failures:
    // CRYPT_E_UNEXPECTED_MSG_TYPE when the message is not enveloped data;
    // CRYPT_E_NO_DECRYPT_CERT when no such certificate is found; NTE_BAD_ALGID
    // for an algorithm with no ALG_ID; NTE_BAD_DATA when the key does not
    // unwrap or the padding is wrong; NTE_BAD_KEY for a key that cannot
    // unwrap; ERROR_CANCELLED when the user refuses a user-protected key;
    // CRYPT_E_ASN1_* or CRYPT_E_BAD_ENCODE for malformed input.
    virtual Outcome<Bytes> decryptMessage(ByteView message, CertificateStore& keyStore) = 0;
};

}  // namespace pennaform::platform
