// CertificateRequest: the PKCS#10 request (RFC 2986) for a key pair that a
// key container holds, signed by that key.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/KeyProviders.h"
#include "platform/Outcome.h"

namespace pennaform {

// Signature algorithms of a request, by the provider type that signs it.
namespace requestAlgorithms {
inline constexpr std::string_view kSha256Rsa = "1.2.840.113549.1.1.11";  // type 24
inline constexpr std::string_view kSha1Rsa = "1.2.840.113549.1.1.5";     // type 1
}  // namespace requestAlgorithms

// certificationRequest: the DER CertificationRequest for the key in slot
// `spec` of `container`: version 0, a subject of one RDN holding the common
// name as a BMPString of the UTF-16 code units exactly as given, the key's
// SubjectPublicKeyInfo, an empty attribute set, and the signature of the
// key through the container: sha256RSA from a type-24 provider, sha1RSA
// from any other. Fails with the container's error (no key, the user
// refused a protected key, ...).
platform::Outcome<platform::Bytes> certificationRequest(platform::KeyContainer& container,
                                                        platform::KeySpec spec,
                                                        std::u16string_view commonName);

}  // namespace pennaform
