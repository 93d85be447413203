// MobileExport: a certificate and its RSA private key as one line of text
// for a phone: the mobile record (the key numbers, names and encoding in the
// component's own layout), Triple-DES encrypted under a key derived from a
// password, in Base64.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/SecretBytes.h"

namespace pennaform {

// mobileRecord: the record of a certificate (DER) and its key
// (PRIVATEKEYBLOB): "QUVO", the bit length and the public exponent, the
// key numbers, the common name, the serial number, the SHA-1 thumbprint,
// the two dates as "YYYYMMDDhhmmss" local time and the certificate, every
// number and length big-endian. Empty when the certificate does not read or
// the blob is not a private key.
platform::SecretBytes mobileRecord(const platform::Platform& platform,
                                   platform::ByteView certificate,
                                   platform::ByteView privateKeyBlob);

// mobileRecordKey: the 24-byte Triple-DES key of a password (8-bit text in
// the process code page): its SHA-1 digest followed by "QUVO"; nothing when
// the digest fails. The caller wipes it after use.
std::optional<std::array<std::uint8_t, 24>> mobileRecordKey(std::string_view password);

// MobileExportText: the text of buildMobileExport and its component code.
struct MobileExportText {
    std::int32_t code = 0;
    std::string text;
};

// buildMobileExport: the record encrypted (Triple DES, CBC, zero IV, PKCS#5)
// under the password's key, in Base64. 5063 with no text when there is no
// certificate or key blob or they do not make a record; 5035 when the
// digest fails. The record and the key are wiped before it returns.
MobileExportText buildMobileExport(const platform::Platform& platform,
                                   platform::ByteView certificate, std::string_view password,
                                   platform::ByteView privateKeyBlob);

}  // namespace pennaform
