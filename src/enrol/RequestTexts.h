// RequestTexts: the certificate requests the last enrolment made, kept for
// GetCsrForSign and GetCsrForEncrypt until the next enrolment empties them.
#pragma once

#include <string>

namespace pennaform {

// RequestTexts: one request text for the signing key and one for the
// encryption key, each the Base64 of a DER PKCS#10 request on one line, or
// empty. A single request is kept as the signing one.
struct RequestTexts {
    std::string forSigning;
    std::string forEncryption;

    // clear: both texts empty, as every enrolment starts.
    void clear() {
        forSigning.clear();
        forEncryption.clear();
    }
};

}  // namespace pennaform
