// TestCertificates: certificates and keys made with OpenSSL for tests that
// need a certificate to store or a key to bind, without a file of their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pennaform::test {

// TestIdentity: a self-signed certificate (DER) and its RSA private key as
// PEM (PKCS#8), as the openssl command writes them.
struct TestIdentity {
    std::vector<std::uint8_t> certificateDer;
    std::string privateKeyPem;
};

// makeTestIdentity: a new RSA key of `bits` bits and a self-signed
// certificate for the common name `commonName`, valid from one day ago for
// a year. Empty members when OpenSSL fails.
TestIdentity makeTestIdentity(const std::string& commonName, int bits = 2048);

// sha1Of: the SHA-1 hash of `bytes`, by OpenSSL.
std::vector<std::uint8_t> sha1Of(const std::vector<std::uint8_t>& bytes);

// verifiesPkcs1: whether `signature` (big-endian, as PKCS#1 has it) is a
// valid RSASSA-PKCS1-v1_5 signature over `digest`, made with `digestName`
// ("SHA1", "SHA256", ...), under the DER SubjectPublicKeyInfo
// `publicKeyInfo`.
bool verifiesPkcs1(const std::vector<std::uint8_t>& publicKeyInfo, const std::string& digestName,
                   const std::vector<std::uint8_t>& digest,
                   const std::vector<std::uint8_t>& signature);

// digestOf: the digest `digestName` of `data`, by OpenSSL.
std::vector<std::uint8_t> digestOf(const std::string& digestName, const std::string& data);

}  // namespace pennaform::test
