#include "signing/SignedData.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "encoding/DerNode.h"
#include "encoding/ErrorTable.h"

namespace pennaform {
namespace {

using platform::Bytes;
namespace algorithms = platform::algorithms;

// Object identifiers (RFC 2315 §14, RFC 2985 §5.3, RFC 3279, RFC 5754).
constexpr std::string_view kData = "1.2.840.113549.1.7.1";
constexpr std::string_view kSignedData = "1.2.840.113549.1.7.2";
constexpr std::string_view kContentTypeAttribute = "1.2.840.113549.1.9.3";
constexpr std::string_view kMessageDigestAttribute = "1.2.840.113549.1.9.4";
constexpr std::string_view kSigningTimeAttribute = "1.2.840.113549.1.9.5";
constexpr std::string_view kRsaEncryption = "1.2.840.113549.1.1.1";
// The MD5 choice names md5WithRSAEncryption as its digest algorithm, as
// the signatures this component always wrote do; verifiers that know the
// signature algorithm take it for MD5.
constexpr std::string_view kMd5DigestName = "1.2.840.113549.1.1.4";
constexpr std::string_view kSha1 = "1.3.14.3.2.26";
constexpr std::string_view kSha256 = "2.16.840.1.101.3.4.2.1";

// The numbers of the encoding steps a 5305 reports.
namespace step {
constexpr int kVersion = 4, kIssuer = 5, kSerial = 6, kDigestAlgorithm = 7, kContentType = 8,
              kSigningTime = 9, kMessageDigest = 10, kEncryptionAlgorithm = 11,
              kAttributesToSign = 21, kEncryptedDigest = 22, kSignedData = 23, kOuterType = 24,
              kOuterContent = 25, kContentInfo = 26, kSignedDataVersion = 34,
              kDigestAlgorithms = 37, kDataType = 38, kContent = 40, kInnerContent = 41,
              kSignerInfo = 42, kSignerInfos = 43, kChainElement = 53, kSignerCertificate = 54,
              kCertificates = 55;
}  // namespace step

struct DigestChoice {
    platform::AlgId algorithm;
    std::string_view oid;
};

DigestChoice digestChoice(std::int32_t flags, bool sha2Capable) {
    if ((flags & signFlags::kMd5) != 0) return {algorithms::kMd5, kMd5DigestName};
    if (sha2Capable) return {algorithms::kSha256, kSha256};
    return {algorithms::kSha1, kSha1};
}

// put: `value` written as an element of tag `tag` and class `classBits`,
// appended to `out`.
bool put(Bytes& out, platform::ByteView value, std::uint32_t tag,
         std::uint8_t classBits = derClass::kUniversal) {
    DerNode node;
    return node.setValue(value, tag, false) && node.encode(out, tag, classBits);
}
bool putConstructed(Bytes& out, platform::ByteView contents, std::uint32_t tag) {
    return put(out, contents, tag, derClass::kConstructed);
}
bool putContext0(Bytes& out, platform::ByteView contents) {
    return put(out, contents, 0, derClass::kContextConstructed);
}
bool putOid(Bytes& out, std::string_view dotted) {
    DerNode node;
    return node.setOid(dotted) && node.encode(out, derType::kOid, derClass::kUniversal);
}
bool putVersion1(Bytes& out) {
    DerNode node;
    const std::uint8_t one = 1;
    return node.setInteger(platform::ByteView(&one, 1)) &&
           node.encode(out, derType::kInteger, derClass::kUniversal);
}
// putAlgorithm: AlgorithmIdentifier with NULL parameters.
bool putAlgorithm(Bytes& out, std::string_view oid) {
    Bytes contents;
    return putOid(contents, oid) && put(contents, {}, derType::kNull) &&
           putConstructed(out, contents, derType::kSequence);
}
// putAttribute: Attribute ::= SEQUENCE { type, values SET { value } }.
bool putAttribute(Bytes& out, std::string_view type, const Bytes& valueEncoding) {
    Bytes contents;
    return putOid(contents, type) && putConstructed(contents, valueEncoding, derType::kSet) &&
           putConstructed(out, contents, derType::kSequence);
}

std::string utcTimeText(const platform::SystemTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02dZ", t.year % 100, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

// putAttributes: contentType, signingTime and messageDigest, in that order,
// which is also the ascending order of their encodings that DER asks of a
// SET OF; 0, or the failing step.
int putAttributes(Bytes& out, const ContentDigest& digest, const platform::SystemTime& now) {
    Bytes value;
    if (!putOid(value, kData) || !putAttribute(out, kContentTypeAttribute, value))
        return step::kContentType;
    value.clear();
    const std::string time = utcTimeText(now);
    if (!put(value,
             platform::ByteView(reinterpret_cast<const std::uint8_t*>(time.data()), time.size()),
             derType::kUtcTime) ||
        !putAttribute(out, kSigningTimeAttribute, value)) {
        return step::kSigningTime;
    }
    value.clear();
    if (!put(value, digest.value, derType::kOctetString) ||
        !putAttribute(out, kMessageDigestAttribute, value)) {
        return step::kMessageDigest;
    }
    return 0;
}

SignedDataResult encodingFailed(int failedStep) {
    return {{codes::kAsn1EncodeFailed, platform::PlatformError(failedStep)}, {}};
}

// Assembled: the encoding of one part, or the step that failed.
struct Assembled {
    int failedStep = 0;
    SigningResult signing;
    Bytes der;
};

// signerInfo: SignerInfo (RFC 2315 §9.2), signed.
Assembled signerInfo(const SignedDataRequest& request, const CertificateView& certificate,
                     const DigestChoice& choice, const ContentDigest& contentDigest) {
    Bytes fields, issuerAndSerial;
    if (!putVersion1(fields)) return {step::kVersion, {}, {}};
    if (!putConstructed(issuerAndSerial, certificate.issuer, derType::kSequence))
        return {step::kIssuer, {}, {}};
    // The serial's contents as the certificate has them, so that a verifier
    // finds the certificate whatever form its serial takes.
    if (!put(issuerAndSerial, certificate.serialNumber, derType::kInteger) ||
        !putConstructed(fields, issuerAndSerial, derType::kSequence)) {
        return {step::kSerial, {}, {}};
    }
    if (!putAlgorithm(fields, choice.oid)) return {step::kDigestAlgorithm, {}, {}};
    ContentDigest signedDigest = contentDigest;
    if ((request.flags & signedDataFlags::kAttributes) != 0) {
        Bytes attributes, attributeSet;
        if (int failed = putAttributes(attributes, contentDigest, request.signingTime))
            return {failed, {}, {}};
        if (!putContext0(fields, attributes)) return {step::kMessageDigest, {}, {}};
        // The signature covers the attributes encoded as a SET (RFC 2315 §9.3).
        if (!putConstructed(attributeSet, attributes, derType::kSet))
            return {step::kAttributesToSign, {}, {}};
        signedDigest = digestOf(choice.algorithm, attributeSet);
    }
    if (!putAlgorithm(fields, kRsaEncryption)) return {step::kEncryptionAlgorithm, {}, {}};
    Bytes signature;
    SigningResult signed_ = request.sign(signedDigest, signature);
    if (!signed_.ok()) return {0, signed_, {}};
    std::reverse(signature.begin(), signature.end());
    if (!put(fields, signature, derType::kOctetString)) return {step::kEncryptedDigest, {}, {}};
    Bytes encoded;
    if (!putConstructed(encoded, fields, derType::kSequence)) return {step::kSignerInfo, {}, {}};
    return {0, {}, std::move(encoded)};
}

// certificates: the [0] IMPLICIT certificates element, or nothing with
// kNoCertificates.
Assembled certificates(const SignedDataRequest& request) {
    if ((request.flags & signedDataFlags::kNoCertificates) != 0) return {};
    Bytes contents;
    if ((request.flags & signedDataFlags::kChain) != 0) {
        platform::Outcome<platform::CertificateChain> chain = request.chain();
        if (!chain) return {0, {codes::kNoCertificateChain, chain.error()}, {}};
        if (!acceptableChain(chain->errorStatus)) return {0, {codes::kNoCertificateChain, 0}, {}};
        if (chain->elements.empty()) return {step::kChainElement, {}, {}};
        for (const Bytes& element : chain->elements) {
            if (element.empty()) return {step::kChainElement, {}, {}};
            contents.insert(contents.end(), element.begin(), element.end());
        }
    } else {
        if (request.certificate.empty()) return {step::kSignerCertificate, {}, {}};
        contents.assign(request.certificate.begin(), request.certificate.end());
    }
    Bytes element;
    if (!putContext0(element, contents)) return {step::kCertificates, {}, {}};
    return {0, {}, std::move(element)};
}

}  // namespace

bool acceptableChain(std::uint32_t errorStatus) {
    namespace bits = platform::chainErrors;
    if (errorStatus == 0) return true;
    if ((errorStatus & (bits::kNotTimeValid | bits::kNotTimeNested)) != 0) return true;
    return (errorStatus & bits::kUntrustedRoot) != 0 &&
           (errorStatus & (bits::kRevoked | bits::kNotSignatureValid | bits::kNotValidForUsage)) ==
               0;
}

SignedDataResult buildSignedData(const SignedDataRequest& request) {
    const DigestChoice choice = digestChoice(request.flags, request.sha2Capable);
    const ContentDigest contentDigest = digestOf(choice.algorithm, request.content);
    std::optional<CertificateView> certificate = decodeCertificate(request.certificate);
    if (!certificate) return {{codes::kBadCertificate, 0}, {}};

    Assembled signer = signerInfo(request, *certificate, choice, contentDigest);
    if (signer.failedStep != 0) return encodingFailed(signer.failedStep);
    if (!signer.signing.ok()) return {signer.signing, {}};
    Assembled certificateSet = certificates(request);
    if (certificateSet.failedStep != 0) return encodingFailed(certificateSet.failedStep);
    if (!certificateSet.signing.ok()) return {certificateSet.signing, {}};

    // SignedData (RFC 2315 §9.1): version 1, one digest algorithm, the data,
    // the certificates, no CRLs, one SignerInfo.
    Bytes fields, algorithm, innerContent, content;
    if (!putVersion1(fields)) return encodingFailed(step::kSignedDataVersion);
    if (!putAlgorithm(algorithm, choice.oid) || !putConstructed(fields, algorithm, derType::kSet)) {
        return encodingFailed(step::kDigestAlgorithms);
    }
    if (!putOid(innerContent, kData)) return encodingFailed(step::kDataType);
    if ((request.flags & signedDataFlags::kDetached) == 0) {
        if (!put(content, request.content, derType::kOctetString))
            return encodingFailed(step::kContent);
        if (!putContext0(innerContent, content)) return encodingFailed(step::kInnerContent);
    }
    if (!putConstructed(fields, innerContent, derType::kSequence))
        return encodingFailed(step::kInnerContent);
    fields.insert(fields.end(), certificateSet.der.begin(), certificateSet.der.end());
    if (!putConstructed(fields, signer.der, derType::kSet))
        return encodingFailed(step::kSignerInfos);

    Bytes signedData, outer, contentInfo;
    if (!putConstructed(signedData, fields, derType::kSequence))
        return encodingFailed(step::kSignedData);
    if (!putOid(outer, kSignedData)) return encodingFailed(step::kOuterType);
    if (!putContext0(outer, signedData)) return encodingFailed(step::kOuterContent);
    if (!putConstructed(contentInfo, outer, derType::kSequence))
        return encodingFailed(step::kContentInfo);
    return {{}, std::move(contentInfo)};
}

}  // namespace pennaform
