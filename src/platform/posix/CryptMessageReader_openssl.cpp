#include "platform/posix/CryptMessageReader_openssl.h"

#include <openssl/pkcs7.h>

#include <climits>

#include "platform/posix/OpenSslOwners.h"

namespace pennaform::platform {
namespace {

using Message = openssl::Owned<PKCS7>;

// decode: the whole of `bytes` as one ContentInfo; CRYPT_E_ASN1_BADTAG when
// it is none, CRYPT_E_ASN1_CORRUPT when bytes follow it.
Outcome<Message> decode(ByteView bytes) {
    if (bytes.empty() || bytes.size() > std::size_t(LONG_MAX)) return fail(errors::kCryptEAsn1Eod);
    const unsigned char* cursor = bytes.data();
    Message message(d2i_PKCS7(nullptr, &cursor, long(bytes.size())));
    if (!message) return fail(errors::kCryptEAsn1BadTag);
    if (cursor != bytes.data() + bytes.size()) return fail(errors::kCryptEAsn1Corrupt);
    return message;
}

// certificatesOf: the certificate set of a message that has one.
STACK_OF(X509) * certificatesOf(PKCS7* message) {
    if (PKCS7_type_is_signed(message)) return message->d.sign ? message->d.sign->cert : nullptr;
    if (PKCS7_type_is_signedAndEnveloped(message)) {
        return message->d.signed_and_enveloped ? message->d.signed_and_enveloped->cert : nullptr;
    }
    return nullptr;
}

// derOf: a certificate's encoding as the message carried it (OpenSSL keeps
// the bytes it decoded).
Outcome<Bytes> derOf(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    if (length <= 0) return fail(errors::kCryptEBadEncode);
    openssl::OpenSslBytes owned(der);
    return Bytes(der, der + length);
}

Bytes octetsOf(const ASN1_OCTET_STRING* octets) {
    if (octets == nullptr || octets->length <= 0) return {};
    return Bytes(octets->data, octets->data + octets->length);
}

}  // namespace

Outcome<std::vector<Bytes>> readMessageCertificates(ByteView bytes) {
    const openssl::ErrorQueueScope errorQueue;
    Outcome<Message> message = decode(bytes);
    if (!message) return message.failure();
    if (!PKCS7_type_is_signed(message->get()) &&
        !PKCS7_type_is_signedAndEnveloped(message->get())) {
        return fail(errors::kCryptEInvalidMsgType);
    }
    std::vector<Bytes> certificates;
    STACK_OF(X509)* carried = certificatesOf(message->get());
    for (int i = 0; i < sk_X509_num(carried); ++i) {
        Outcome<Bytes> der = derOf(sk_X509_value(carried, i));
        if (!der) return der.failure();
        certificates.push_back(std::move(*der));
    }
    return certificates;
}

Outcome<Bytes> readMessageContent(ByteView bytes) {
    const openssl::ErrorQueueScope errorQueue;
    Outcome<Message> message = decode(bytes);
    if (!message) return message.failure();
    PKCS7* decoded = message->get();
    if (PKCS7_type_is_data(decoded)) return octetsOf(decoded->d.data);
    if (!PKCS7_type_is_signed(decoded)) return fail(errors::kCryptEInvalidMsgType);
    PKCS7* inner = decoded->d.sign ? decoded->d.sign->contents : nullptr;
    if (inner == nullptr || !PKCS7_type_is_data(inner)) return Bytes{};
    return octetsOf(inner->d.data);
}

}  // namespace pennaform::platform
