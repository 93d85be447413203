#include "platform/posix/CertificateReader_openssl.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

#include "encoding/DerCursor.h"
#include "platform/CodePage.h"
#include "platform/FileTimes.h"
#include "platform/posix/NameText.h"
#include "platform/posix/OpenSslOwners.h"

namespace pennaform::platform {
namespace {

// TbsFields: the parts of TBSCertificate (RFC 5280 §4.1) taken straight from
// the encoding, so that they read exactly as encoded.
struct TbsFields {
    ByteView serial;         // INTEGER contents, most significant first
    ByteView issuer;         // the whole Name
    ByteView subject;        // the whole Name
    ByteView publicKeyBits;  // subjectPublicKey BIT STRING contents
};

// certificateContents: the contents of the outer SEQUENCE, which must span
// the input exactly. The error numbers are those CertCreateCertificateContext
// gives: nothing or a cut-off element is EOD, another outer tag BADTAG.
Outcome<DerCursor> certificateContents(ByteView der) {
    if (der.size() < 2) return fail(errors::kCryptEAsn1Eod);
    if (der[0] != derTags::kSequence) return fail(errors::kCryptEAsn1BadTag);
    DerCursor outer(der);
    std::optional<DerCursor> contents = outer.readNested(derTags::kSequence);
    if (!contents) return fail(errors::kCryptEAsn1Eod);
    if (!outer.empty()) return fail(errors::kCryptEAsn1Corrupt);
    return *contents;
}

// readTbs: the TBSCertificate fields up to the public key.
std::optional<TbsFields> readTbs(DerCursor certificate) {
    std::optional<DerCursor> tbs = certificate.readNested(derTags::kSequence);
    if (!tbs) return std::nullopt;
    if (tbs->peekTag() == derTags::kContext0Constructed && !tbs->readAny()) return std::nullopt;
    std::optional<DerElement> serial = tbs->read(derTags::kInteger);
    std::optional<DerElement> signature = tbs->read(derTags::kSequence);
    std::optional<DerElement> issuer = tbs->read(derTags::kSequence);
    std::optional<DerElement> validity = tbs->read(derTags::kSequence);
    std::optional<DerElement> subject = tbs->read(derTags::kSequence);
    std::optional<DerCursor> publicKeyInfo = tbs->readNested(derTags::kSequence);
    if (!serial || !signature || !issuer || !validity || !subject || !publicKeyInfo) {
        return std::nullopt;
    }
    std::optional<DerElement> algorithm = publicKeyInfo->read(derTags::kSequence);
    std::optional<DerElement> publicKey = publicKeyInfo->read(derTags::kBitString);
    if (!algorithm || !publicKey) return std::nullopt;
    return TbsFields{serial->contents, issuer->encoding, subject->encoding, publicKey->contents};
}

std::optional<FileTime> fileTimeOf(const ASN1_TIME* time) {
    std::tm fields{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &fields) != 1) return std::nullopt;
    return systemTimeToFileTime({fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
                                 fields.tm_hour, fields.tm_min, fields.tm_sec, 0});
}

// firstKeyUsageByte: the first byte of the first key-usage extension's bit
// string (unused bits cleared), 0 for an empty bit string; nullopt without
// the extension or when it does not decode, as CertGetIntendedKeyUsage
// then reports none (RFC 5280 §4.2.1.3).
std::optional<std::uint8_t> firstKeyUsageByte(const X509* certificate) {
    const int index = X509_get_ext_by_NID(certificate, NID_key_usage, -1);
    if (index < 0) return std::nullopt;
    const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(X509_get_ext(certificate, index));
    DerCursor cursor(
        ByteView(ASN1_STRING_get0_data(value), std::size_t(ASN1_STRING_length(value))));
    std::optional<DerElement> bits = cursor.read(derTags::kBitString);
    if (!bits || !cursor.empty() || bits->contents.empty()) return std::nullopt;
    const std::uint8_t unusedBits = bits->contents[0];
    if (unusedBits > 7 || (bits->contents.size() == 1 && unusedBits != 0)) return std::nullopt;
    if (bits->contents.size() == 1) return std::uint8_t(0);
    std::uint8_t first = bits->contents[1];
    if (bits->contents.size() == 2) first &= std::uint8_t(0xFF << unusedBits);
    return first;
}

// commonName: the common name of a name as CertGetNameStringA gives it. An
// empty name is looked up in the first directoryName of the matching
// alternative-name extension instead.
std::optional<std::u16string> commonName(const X509* certificate, ByteView nameDer,
                                         int alternativeNameNid) {
    if (!isEmptyName(nameDer)) return attributeText(nameDer, nameOids::kCommonName);
    openssl::GeneralNames names(static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(certificate, alternativeNameNid, nullptr, nullptr)));
    for (int i = 0; names && i < sk_GENERAL_NAME_num(names.get()); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names.get(), i);
        if (name->type != GEN_DIRNAME) continue;
        const unsigned char* der = nullptr;
        std::size_t length = 0;
        if (X509_NAME_get0_der(name->d.directoryName, &der, &length) != 1) return std::nullopt;
        return attributeText(ByteView(der, length), nameOids::kCommonName);
    }
    return std::u16string();
}

Outcome<Bytes> sha1Of(OSSL_LIB_CTX* library, ByteView der) {
    Bytes hash(EVP_MAX_MD_SIZE);
    std::size_t length = 0;
    if (EVP_Q_digest(library, "SHA1", nullptr, der.data(), der.size(), hash.data(), &length) != 1) {
        return fail(errors::kNteFail);
    }
    hash.resize(length);
    return hash;
}

// integerMagnitude: an unsigned INTEGER's contents without its sign byte.
ByteView integerMagnitude(ByteView contents) {
    return contents.size() > 1 && contents[0] == 0 ? contents.subspan(1) : contents;
}

void appendLittleEndian32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(value >> (8 * i)));
}

class OpenSslCertificateReader final : public CertificateReader {
public:
    explicit OpenSslCertificateReader(std::shared_ptr<OpenSslLibrary> library)
        : library_(std::move(library)) {}

    Outcome<CertificateInfo> parse(ByteView der) const override {
        if (!library_) return read(der);
        if (std::optional<CertificateInfo> known = library_->recentCertificates().find(der)) {
            return std::move(*known);
        }
        Outcome<CertificateInfo> info = read(der);
        if (info) library_->recentCertificates().keep(der, *info);
        return info;
    }

    // The key is read as RSAPublicKey ::= SEQUENCE { modulus, publicExponent }
    // (RFC 8017 §A.1.1) from the subjectPublicKey bits, whatever the
    // algorithm says, as the RSA_CSP_PUBLICKEYBLOB decoding does.
    Outcome<Bytes> rsaPublicKeyBlob(ByteView der) const override {
        const openssl::ErrorQueueScope errorQueue;
        if (!library_ || !library_->recentCertificates().find(der)) {
            Outcome<openssl::X509Cert> certificate = decodeX509Certificate(context(), der);
            if (!certificate) return certificate.failure();
        }
        std::optional<TbsFields> tbs = readTbs(*certificateContents(der));
        if (!tbs) return fail(errors::kCryptEAsn1Corrupt);
        if (tbs->publicKeyBits.empty() || tbs->publicKeyBits[0] != 0) {
            return fail(errors::kCryptEAsn1BadTag);
        }
        DerCursor bits(tbs->publicKeyBits.subspan(1));
        std::optional<DerCursor> key = bits.readNested(derTags::kSequence);
        if (!key || !bits.empty()) return fail(errors::kCryptEAsn1BadTag);
        std::optional<DerElement> modulus = key->read(derTags::kInteger);
        std::optional<DerElement> exponent = key->read(derTags::kInteger);
        if (!modulus || !exponent || !key->empty()) return fail(errors::kCryptEAsn1BadTag);

        const ByteView modulusBytes = integerMagnitude(modulus->contents);
        const ByteView exponentBytes = integerMagnitude(exponent->contents);
        if (modulusBytes.empty() || modulusBytes.size() > 0x1FFFFFFF || exponentBytes.empty() ||
            exponentBytes.size() > 4) {
            return fail(errors::kCryptEAsn1Corrupt);
        }
        std::uint32_t publicExponent = 0;
        for (std::uint8_t b : exponentBytes) publicExponent = (publicExponent << 8) | b;

        // PUBLICKEYBLOB: BLOBHEADER, RSAPUBKEY "RSA1", modulus little-endian.
        Bytes blob{0x06, 0x02, 0x00, 0x00};
        appendLittleEndian32(blob, algorithms::kRsaKeyExchange);
        appendLittleEndian32(blob, 0x31415352);  // "RSA1"
        appendLittleEndian32(blob, std::uint32_t(modulusBytes.size() * 8));
        appendLittleEndian32(blob, publicExponent);
        blob.insert(blob.end(), modulusBytes.rbegin(), modulusBytes.rend());
        return blob;
    }

private:
    // read: what parse gives, read afresh.
    Outcome<CertificateInfo> read(ByteView der) const {
        const openssl::ErrorQueueScope errorQueue;
        Outcome<openssl::X509Cert> certificate = decodeX509Certificate(context(), der);
        if (!certificate) return certificate.failure();
        std::optional<TbsFields> tbs = readTbs(*certificateContents(der));
        if (!tbs) return fail(errors::kCryptEAsn1Corrupt);
        const X509* x509 = certificate->get();

        std::optional<std::u16string> subject = x500NameText(tbs->subject);
        std::optional<std::u16string> issuer = x500NameText(tbs->issuer);
        std::optional<std::u16string> subjectCn =
            commonName(x509, tbs->subject, NID_subject_alt_name);
        std::optional<std::u16string> issuerCn = commonName(x509, tbs->issuer, NID_issuer_alt_name);
        std::optional<FileTime> notBefore = fileTimeOf(X509_get0_notBefore(x509));
        std::optional<FileTime> notAfter = fileTimeOf(X509_get0_notAfter(x509));
        if (!subject || !issuer || !subjectCn || !issuerCn || !notBefore || !notAfter) {
            return fail(errors::kCryptEAsn1Corrupt);
        }
        Outcome<Bytes> thumbprint = sha1Of(context(), der);
        if (!thumbprint) return thumbprint.failure();

        CertificateInfo info;
        info.subjectName = toAnsi(*subject);
        info.issuerName = toAnsi(*issuer);
        info.subjectCommonName = toAnsi(*subjectCn);
        info.issuerCommonName = toAnsi(*issuerCn);
        info.serialNumber.assign(tbs->serial.begin(), tbs->serial.end());
        info.thumbprint = std::move(*thumbprint);
        info.keyUsage = firstKeyUsageByte(x509);
        info.notBefore = *notBefore;
        info.notAfter = *notAfter;
        return info;
    }

    OSSL_LIB_CTX* context() const { return library_ ? library_->context() : nullptr; }

    std::shared_ptr<OpenSslLibrary> library_;  // null: OpenSSL's default context
};

}  // namespace

Outcome<openssl::X509Cert> decodeX509Certificate(OSSL_LIB_CTX* library, ByteView der) {
    Outcome<DerCursor> contents = certificateContents(der);
    if (!contents) return contents.failure();
    openssl::X509Cert certificate(X509_new_ex(library, nullptr));
    if (!certificate) return fail(errors::kErrorOutOfMemory);
    X509* into = certificate.get();
    const unsigned char* p = der.data();
    if (d2i_X509(&into, &p, long(der.size())) == nullptr) {
        (void)certificate.release();  // d2i_X509 freed it on failure
        return fail(errors::kCryptEAsn1Corrupt);
    }
    if (p != der.data() + der.size()) return fail(errors::kCryptEAsn1Corrupt);
    return certificate;
}

std::unique_ptr<CertificateReader> makeOpenSslCertificateReader(
    std::shared_ptr<OpenSslLibrary> library) {
    return std::make_unique<OpenSslCertificateReader>(std::move(library));
}

}  // namespace pennaform::platform
