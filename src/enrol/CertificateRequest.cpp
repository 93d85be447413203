#include "enrol/CertificateRequest.h"

#include <algorithm>
#include <vector>

#include "crypto/Digests.h"
#include "encoding/DerBuilder.h"

namespace pennaform {
namespace {

using platform::Bytes;
using platform::fail;

constexpr std::string_view kCommonName = "2.5.4.3";

// bmpString: the code units big-endian, as BMPString carries them (X.690
// §8.23.8); a surrogate pair stays the two units it was given as.
Bytes bmpString(std::u16string_view text) {
    Bytes bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(std::uint8_t(unit >> 8));
        bytes.push_back(std::uint8_t(unit));
    }
    return bytes;
}

// name: Name (RFC 5280 §4.1.2.4) of one RDN, the common name.
void name(DerScope& out, std::u16string_view commonName) {
    DerScope rdns = out.sequence();
    DerScope rdn = rdns.set();
    DerScope attribute = rdn.sequence();
    attribute.addOid(kCommonName).addPrimitive(derTags::kBmpString, bmpString(commonName));
    attribute.close();
    rdn.close();
    rdns.close();
}

// certificationRequestInfo: RFC 2986 §4.1, with no attributes.
std::optional<Bytes> certificationRequestInfo(std::u16string_view commonName,
                                              const Bytes& publicKeyInfo) {
    DerBuilder builder;
    DerScope info = builder.sequence();
    info.addInteger(0);
    name(info, commonName);
    info.addElement(publicKeyInfo);
    info.contextConstructed(0).close();
    info.close();
    return builder.finish();
}

// signatureHash: the digest of `data` the provider type signs with.
Bytes signatureHash(bool sha256, const Bytes& data) {
    if (sha256) {
        Sha256Digest digest;
        digest.compute(data.data(), data.size());
        return Bytes(digest.bytes().begin(), digest.bytes().end());
    }
    Sha1Digest digest;
    digest.compute(data.data(), data.size());
    return Bytes(digest.bytes().begin(), digest.bytes().end());
}

}  // namespace

platform::Outcome<Bytes> certificationRequest(platform::KeyContainer& container,
                                              platform::KeySpec spec,
                                              std::u16string_view commonName) {
    platform::Outcome<Bytes> publicKeyInfo = container.publicKeyInfo(spec);
    if (!publicKeyInfo) return publicKeyInfo.failure();
    std::optional<Bytes> info = certificationRequestInfo(commonName, *publicKeyInfo);
    if (!info) return fail(platform::errors::kCryptEBadEncode);

    const bool sha256 = container.providerType() == platform::providerTypes::kRsaAes;
    platform::Outcome<Bytes> signature = container.signHash(
        spec, sha256 ? platform::algorithms::kSha256 : platform::algorithms::kSha1,
        signatureHash(sha256, *info));
    if (!signature) return signature.failure();
    // The provider gives the signature least significant byte first; the
    // BIT STRING carries it as the big-endian integer PKCS#1 defines.
    Bytes bits{0x00};
    bits.insert(bits.end(), signature->rbegin(), signature->rend());

    DerBuilder builder;
    DerScope request = builder.sequence();
    request.addElement(*info);
    DerScope algorithm = request.sequence();
    algorithm.addOid(sha256 ? requestAlgorithms::kSha256Rsa : requestAlgorithms::kSha1Rsa)
        .addNull();
    algorithm.close();
    request.addPrimitive(derTags::kBitString, bits);
    request.close();
    std::optional<Bytes> der = builder.finish();
    if (!der) return fail(platform::errors::kCryptEBadEncode);
    return std::move(*der);
}

}  // namespace pennaform
