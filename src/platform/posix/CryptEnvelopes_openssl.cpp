// PKCS#7 EnvelopedData (RFC 5652 §6, version 0: key transport recipients
// named by issuer and serial number, RSA PKCS#1 v1.5 key transport).
#include "platform/posix/CryptEnvelopes_openssl.h"

#include <openssl/cms.h>
#include <openssl/objects.h>

#include <algorithm>
#include <optional>
#include <string>

#include "encoding/DerCursor.h"
#include "platform/KeyProviders.h"
#include "platform/SecretBytes.h"

namespace pennaform::platform::envelopes {
namespace {

constexpr std::string_view kRsaEncryption = "1.2.840.113549.1.1.1";
constexpr std::string_view kEnvelopedData = "1.2.840.113549.1.7.3";

// ContentCipher: a content-encryption algorithm this service reads or writes.
struct ContentCipher {
    std::string_view oid;
    const char* name;  // OpenSSL's name, fetched in the backend's context
    bool encrypts;     // offered by encryptMessage too
};
constexpr ContentCipher kContentCiphers[] = {
    {contentAlgorithms::kDesEde3Cbc, "DES-EDE3-CBC", true},
    {contentAlgorithms::kDesCbc, "DES-CBC", true},
    {contentAlgorithms::kRc4, "RC4", true},
    {"2.16.840.1.101.3.4.1.2", "AES-128-CBC", false},
    {"2.16.840.1.101.3.4.1.22", "AES-192-CBC", false},
    {"2.16.840.1.101.3.4.1.42", "AES-256-CBC", false},
};

const ContentCipher* contentCipherOf(std::string_view oid) {
    for (const ContentCipher& cipher : kContentCiphers) {
        if (cipher.oid == oid) return &cipher;
    }
    return nullptr;
}

using Cipher = openssl::Owned<EVP_CIPHER>;
using CipherContext = openssl::Owned<EVP_CIPHER_CTX>;
using Certificates = openssl::Owned<STACK_OF(X509)>;
using ContentInfo = openssl::Owned<CMS_ContentInfo>;

// oidText: the dotted form of an OBJECT IDENTIFIER element; empty when it
// does not decode.
std::string oidText(const DerElement& element) {
    const unsigned char* at = element.encoding.data();
    openssl::Owned<ASN1_OBJECT> object(
        d2i_ASN1_OBJECT(nullptr, &at, long(element.encoding.size())));
    if (!object) return {};
    char text[128];
    const int length = OBJ_obj2txt(text, sizeof text, object.get(), 1);
    if (length <= 0 || std::size_t(length) >= sizeof text) return {};
    return std::string(text, std::size_t(length));
}

Outcome<openssl::X509Cert> certificateOf(OSSL_LIB_CTX* library, const Bytes& der) {
    openssl::X509Cert certificate(X509_new_ex(library, nullptr));
    if (!certificate) return fail(errors::kNteNoMemory);
    X509* target = certificate.get();
    const unsigned char* at = der.data();
    if (d2i_X509(&target, &at, long(der.size())) == nullptr) return fail(errors::kCryptEAsn1BadTag);
    if (at != der.data() + der.size()) return fail(errors::kCryptEAsn1Corrupt);
    return certificate;
}

// IssuerAndSerial: how a recipient (or a certificate) is named (§10.2.4):
// the issuer Name's encoding and the serial number's contents.
struct IssuerAndSerial {
    std::span<const std::uint8_t> issuer;
    std::span<const std::uint8_t> serial;
    bool operator==(const IssuerAndSerial& other) const {
        return std::ranges::equal(issuer, other.issuer) && std::ranges::equal(serial, other.serial);
    }
};

// issuerAndSerialOf: the names of a DER certificate (RFC 5280 §4.1);
// nothing for bytes that are not one.
std::optional<IssuerAndSerial> issuerAndSerialOf(ByteView der) {
    DerCursor outer(der);
    std::optional<DerCursor> certificate = outer.readNested(derTags::kSequence);
    if (!certificate) return std::nullopt;
    std::optional<DerCursor> tbs = certificate->readNested(derTags::kSequence);
    if (!tbs) return std::nullopt;
    if (tbs->peekTag() == derTags::kContext0Constructed) tbs->readAny();  // version
    std::optional<DerElement> serial = tbs->read(derTags::kInteger);
    if (!serial || !tbs->read(derTags::kSequence)) return std::nullopt;  // signature
    std::optional<DerElement> issuer = tbs->read(derTags::kSequence);
    if (!issuer) return std::nullopt;
    return IssuerAndSerial{issuer->encoding, serial->contents};
}

// KeyTransportRecipient: one KeyTransRecipientInfo (§6.2.1) named by
// issuer and serial.
struct KeyTransportRecipient {
    IssuerAndSerial name;
    std::string keyAlgorithm;
    std::span<const std::uint8_t> encryptedKey;
};

// Envelope: the parts of an EnvelopedData that decryption reads (§6.1).
struct Envelope {
    std::vector<KeyTransportRecipient> recipients;
    std::string contentAlgorithm;
    std::optional<DerElement> contentParameters;
    std::span<const std::uint8_t> encryptedContent;
};

// readRecipient: appends a RecipientInfo of the key transport kind named by
// issuer and serial; skips the other kinds (agreement, KEK, password, or a
// key identifier), which no store certificate answers here. False for bytes
// that do not decode.
bool readRecipient(const DerElement& element, std::vector<KeyTransportRecipient>& out) {
    if (element.tag != derTags::kSequence) return true;  // another kind: [1] ... [4]
    DerCursor info(element.contents);
    if (!info.read(derTags::kInteger)) return false;
    std::optional<DerCursor> rid = info.readNested(derTags::kSequence);
    if (!rid) return info.peekTag().has_value();  // a subject key identifier
    std::optional<DerElement> issuer = rid->read(derTags::kSequence);
    std::optional<DerElement> serial = rid->read(derTags::kInteger);
    std::optional<DerCursor> algorithm = info.readNested(derTags::kSequence);
    std::optional<DerElement> key = info.read(derTags::kOctetString);
    if (!issuer || !serial || !rid->empty() || !algorithm || !key || !info.empty()) return false;
    std::optional<DerElement> oid = algorithm->read(derTags::kOid);
    if (!oid) return false;
    out.push_back({{issuer->encoding, serial->contents}, oidText(*oid), key->contents});
    return true;
}

// readEnvelope: the EnvelopedData of a DER ContentInfo. CRYPT_E_ASN1_* for
// bytes that do not decode, CRYPT_E_UNEXPECTED_MSG_TYPE for another type.
Outcome<Envelope> readEnvelope(ByteView der) {
    constexpr std::uint8_t kImplicitContent0 = derTags::kContextClass;  // [0] IMPLICIT OCTET STRING
    constexpr std::uint8_t kUnprotectedAttributes = derTags::kContextClass | 0x21;
    DerCursor outer(der);
    std::optional<DerCursor> contentInfo = outer.readNested(derTags::kSequence);
    if (!contentInfo || !outer.empty()) return fail(errors::kCryptEAsn1Corrupt);
    std::optional<DerElement> type = contentInfo->read(derTags::kOid);
    if (!type) return fail(errors::kCryptEAsn1BadTag);
    if (oidText(*type) != kEnvelopedData) return fail(errors::kCryptEUnexpectedMsgType);
    std::optional<DerCursor> explicitContent =
        contentInfo->readNested(derTags::kContext0Constructed);
    if (!explicitContent) return fail(errors::kCryptEAsn1Corrupt);
    std::optional<DerCursor> enveloped = explicitContent->readNested(derTags::kSequence);
    if (!enveloped || !enveloped->read(derTags::kInteger)) return fail(errors::kCryptEAsn1Corrupt);
    if (enveloped->peekTag() == derTags::kContext0Constructed) enveloped->readAny();  // originator
    std::optional<DerCursor> recipientInfos = enveloped->readNested(derTags::kSet);
    std::optional<DerCursor> contentInfoPart = enveloped->readNested(derTags::kSequence);
    if (!recipientInfos || !contentInfoPart) return fail(errors::kCryptEAsn1Corrupt);
    if (enveloped->peekTag() == kUnprotectedAttributes) enveloped->readAny();
    if (!enveloped->empty()) return fail(errors::kCryptEAsn1Corrupt);

    Envelope envelope;
    while (!recipientInfos->empty()) {
        std::optional<DerElement> recipient = recipientInfos->readAny();
        if (!recipient || !readRecipient(*recipient, envelope.recipients))
            return fail(errors::kCryptEAsn1Corrupt);
    }
    std::optional<DerCursor> algorithm;
    if (!contentInfoPart->read(derTags::kOid) ||
        !(algorithm = contentInfoPart->readNested(derTags::kSequence))) {
        return fail(errors::kCryptEAsn1Corrupt);
    }
    std::optional<DerElement> algorithmOid = algorithm->read(derTags::kOid);
    if (!algorithmOid) return fail(errors::kCryptEAsn1Corrupt);
    envelope.contentAlgorithm = oidText(*algorithmOid);
    if (!algorithm->empty()) envelope.contentParameters = algorithm->readAny();
    if (std::optional<DerElement> content = contentInfoPart->read(kImplicitContent0)) {
        envelope.encryptedContent = content->contents;
    }
    if (!algorithm->empty() || !contentInfoPart->empty()) return fail(errors::kCryptEAsn1Corrupt);
    return envelope;
}

// normalised: the message as DER: OpenSSL reads the BER other tools write
// (indefinite lengths, constructed strings) and writes it again. Only the
// encoding is read here, so OpenSSL's default context serves.
Outcome<Bytes> normalised(ByteView message) {
    const unsigned char* at = message.data();
    ContentInfo parsed(d2i_CMS_ContentInfo(nullptr, &at, long(message.size())));
    if (!parsed) return fail(errors::kCryptEAsn1BadTag);
    if (at != message.data() + message.size()) return fail(errors::kCryptEAsn1Corrupt);
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(parsed.get(), &der);
    if (length <= 0) return fail(errors::kCryptEBadEncode);
    openssl::OpenSslBytes owned(der);
    return Bytes(der, der + length);
}

// ivOf: the IV the algorithm's parameters carry (an OCTET STRING for the
// CBC ciphers); empty for none (RC4: absent or NULL parameters).
std::optional<std::span<const std::uint8_t>> ivOf(const std::optional<DerElement>& parameters) {
    if (!parameters || parameters->tag == derTags::kNull) return std::span<const std::uint8_t>{};
    if (parameters->tag != derTags::kOctetString) return std::nullopt;
    return parameters->contents;
}

// decryptContent: the content decrypted with the unwrapped key. A key of
// the wrong length for the cipher, or a last block whose padding does not
// check, is NTE_BAD_DATA: a key unwrapped wrongly never yields text.
Outcome<Bytes> decryptContent(OSSL_LIB_CTX* library, const Envelope& envelope, ByteView key) {
    const ContentCipher* choice = contentCipherOf(envelope.contentAlgorithm);
    if (choice == nullptr) return fail(errors::kNteBadAlgId);
    Cipher cipher(EVP_CIPHER_fetch(library, choice->name, nullptr));
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!cipher || !context) return fail(errors::kNteBadAlgId);
    std::optional<std::span<const std::uint8_t>> iv = ivOf(envelope.contentParameters);
    if (!iv || iv->size() != std::size_t(EVP_CIPHER_get_iv_length(cipher.get())))
        return fail(errors::kCryptEAsn1BadTag);
    if (EVP_DecryptInit_ex2(context.get(), cipher.get(), nullptr, nullptr, nullptr) != 1)
        return fail(errors::kNteFail);
    if (std::size_t(EVP_CIPHER_CTX_get_key_length(context.get())) != key.size() &&
        EVP_CIPHER_CTX_set_key_length(context.get(), int(key.size())) != 1) {
        return fail(errors::kNteBadData);
    }
    if (EVP_DecryptInit_ex2(context.get(), nullptr, key.data(), iv->empty() ? nullptr : iv->data(),
                            nullptr) != 1) {
        return fail(errors::kNteBadData);
    }
    SecretBytes buffer;
    std::span<std::uint8_t> out =
        buffer.grow(envelope.encryptedContent.size() + std::size_t(EVP_MAX_BLOCK_LENGTH));
    int length = 0, last = 0;
    if (envelope.encryptedContent.size() > std::size_t(INT32_MAX) ||
        EVP_DecryptUpdate(context.get(), out.data(), &length, envelope.encryptedContent.data(),
                          int(envelope.encryptedContent.size())) != 1 ||
        EVP_DecryptFinal_ex(context.get(), out.data() + length, &last) != 1) {
        return fail(errors::kNteBadData);
    }
    const ByteView plain = out.first(std::size_t(length + last));
    return Bytes(plain.begin(), plain.end());
}

// ChosenKey: the store certificate that answers a recipient, with its key.
struct ChosenKey {
    const KeyTransportRecipient* recipient = nullptr;
    KeyContext key;
};

// chooseKey: the first certificate of the store, in its order, that names a
// recipient and whose private key can be acquired.
Outcome<ChosenKey> chooseKey(const Envelope& envelope, CertificateStore& keyStore) {
    Outcome<std::vector<StoredCertificate>> certificates = keyStore.certificates();
    if (!certificates) return certificates.failure();
    for (const StoredCertificate& certificate : *certificates) {
        std::optional<IssuerAndSerial> name = issuerAndSerialOf(certificate.encoded);
        if (!name) continue;
        for (const KeyTransportRecipient& recipient : envelope.recipients) {
            if (!(recipient.name == *name)) continue;
            Outcome<KeyContext> key = keyStore.acquirePrivateKey(certificate.id);
            if (key && key->container) return ChosenKey{&recipient, std::move(*key)};
        }
    }
    return fail(errors::kCryptENoDecryptCert);
}

}  // namespace

Outcome<Bytes> encryptEnvelope(OSSL_LIB_CTX* library, const std::vector<Bytes>& recipients,
                               std::string_view contentAlgorithm, ByteView plaintext) {
    const openssl::ErrorQueueScope errorQueue;
    const ContentCipher* choice = contentCipherOf(contentAlgorithm);
    if (choice == nullptr || !choice->encrypts) return fail(errors::kCryptEUnknownAlgo);
    if (recipients.empty()) return fail(errors::kEInvalidArg);
    Certificates certificates(sk_X509_new_null());
    if (!certificates) return fail(errors::kNteNoMemory);
    for (const Bytes& der : recipients) {
        Outcome<openssl::X509Cert> certificate = certificateOf(library, der);
        if (!certificate) return certificate.failure();
        if (sk_X509_push(certificates.get(), certificate->get()) <= 0)
            return fail(errors::kNteNoMemory);
        certificate->release();
    }
    Cipher cipher(EVP_CIPHER_fetch(library, choice->name, nullptr));
    if (!cipher) return fail(errors::kNteBadAlgId);  // no legacy provider for DES or RC4
    openssl::Bio content(BIO_new_mem_buf(plaintext.data(), int(plaintext.size())));
    if (!content || plaintext.size() > std::size_t(INT32_MAX)) return fail(errors::kNteNoMemory);
    // CMS_BINARY: the bytes as they are, no MIME line endings.
    ContentInfo envelope(CMS_encrypt_ex(certificates.get(), content.get(), cipher.get(), CMS_BINARY,
                                        library, nullptr));
    if (!envelope) return fail(errors::kNteFail);
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(envelope.get(), &der);
    if (length <= 0) return fail(errors::kCryptEBadEncode);
    openssl::OpenSslBytes owned(der);
    return Bytes(der, der + length);
}

Outcome<Bytes> decryptEnvelope(OSSL_LIB_CTX* library, ByteView message,
                               CertificateStore& keyStore) {
    const openssl::ErrorQueueScope errorQueue;
    Outcome<Bytes> der = normalised(message);
    if (!der) return der.failure();
    Outcome<Envelope> envelope = readEnvelope(*der);
    if (!envelope) return envelope.failure();
    Outcome<ChosenKey> chosen = chooseKey(*envelope, keyStore);
    if (!chosen) return chosen.failure();
    if (chosen->recipient->keyAlgorithm != kRsaEncryption) return fail(errors::kNteBadAlgId);
    // The providers take the wrapped key least significant byte first.
    const Bytes wrapped(chosen->recipient->encryptedKey.rbegin(),
                        chosen->recipient->encryptedKey.rend());
    Outcome<Bytes> unwrapped = chosen->key.container->decryptKey(chosen->key.keySpec, wrapped);
    if (!unwrapped) return unwrapped.failure();
    const SecretBytes contentKey(std::move(*unwrapped));
    return decryptContent(library, *envelope, contentKey.view());
}

}  // namespace pennaform::platform::envelopes
