// CertificateEnvelopes: a text enveloped for the certificates a caller
// names (PKCS#7 EnvelopedData through the platform), and opened again with
// a key of the personal store or, failing that, of a PFX file the user
// picks. Each step gives the component's code and the platform's number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace pennaform::envelopes {

// EnvelopeStep: the outcome of a step: the component's code (0 on success)
// and the platform error number to report beside it.
struct [[nodiscard]] EnvelopeStep {
    std::int32_t code = 0;
    platform::PlatformError platformError = 0;
};

// contentAlgorithmFor: the content cipher iAlgorithm chooses: 1 DES-CBC, 2
// RC4, any other value Triple DES.
std::string_view contentAlgorithmFor(std::int32_t iAlgorithm);

// recipientCertificates: the DER certificates a certificate text names,
// duplicates removed (the first kept), in order. `text` is 8-bit, one
// certificate or a PKCS#7 carrying certificates, in Base64; armour is
// removed only when the text begins with "-----", and only the certificate
// and "PKCS #7" armour lines. 5040 when the text does not start with 'M',
// is not Base64, is neither a message with certificates nor a certificate
// (the platform's number kept for the last), or names none.
EnvelopeStep recipientCertificates(const platform::Platform& platform, std::string text,
                                   std::vector<platform::Bytes>& outRecipients);

// encryptFor: the DER EnvelopedData of `plain` for `recipients`; 9004 when
// the platform refuses (its number is not reported).
EnvelopeStep encryptFor(platform::Platform& platform,
                        const std::vector<platform::Bytes>& recipients,
                        std::string_view contentAlgorithm, platform::ByteView plain,
                        platform::Bytes& outEnvelope);

// PfxPrompt: the password range the PFX dialog of the fallback enforces.
struct PfxPrompt {
    std::int32_t minPasswordLength = 0;
    std::int32_t maxPasswordLength = 16;
};

// openEnvelope: the content of a DER or BER EnvelopedData, opened with the
// first certificate of "MY" that names a recipient and has its key; when no
// certificate there can, with one of a PFX file the user picks in dialog 202
// (loaded for this call only, its keys gone afterwards). Codes: 5017 a key
// that may not decrypt, 5042 not an envelope or an unknown algorithm, 9006
// no certificate with a key, 9005 any other decryption failure (none of
// these keeps the platform's number); 5070 and 5002 from the dialog, 5010
// when the PFX file does not load (its number kept).
EnvelopeStep openEnvelope(platform::Platform& platform, platform::ByteView envelope,
                          const PfxPrompt& prompt, platform::Bytes& outContent);

// decryptionCode: the component's code for a failure of the platform's
// decryption.
std::int32_t decryptionCode(platform::PlatformError error);

}  // namespace pennaform::envelopes
