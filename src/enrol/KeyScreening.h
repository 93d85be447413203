// KeyScreening: whether a freshly generated RSA key pair is fit for use:
// its exported private parts must agree with each other.
#pragma once

#include "platform/KeyProviders.h"
#include "platform/PlatformTypes.h"

namespace pennaform {

// isWeakKeyBlob: whether the PRIVATEKEYBLOB `blob` fails one of these, in
// this order (the first failure ends the test; an arithmetic failure counts
// as one): p*q = n; d mod (p-1) = dP; d mod (q-1) = dQ; q^-1 mod p exists
// and is qInv; d*e mod (p-1)(q-1) = 1; gcd(e, (p-1)(q-1)) = 1. A blob
// shorter than its bit length needs is weak.
bool isWeakKeyBlob(platform::ByteView blob);

// ScreeningResult: the answer of screenKey, and the platform error of an
// export that failed (0 otherwise).
struct ScreeningResult {
    bool weak = true;
    platform::PlatformError exportError = 0;
};

// screenKey: exports the private key through `key` (the handle that made
// it, so an archivable key can still be read) and tests it with
// isWeakKeyBlob. A key that cannot be exported is weak.
ScreeningResult screenKey(const platform::RsaKey& key);

}  // namespace pennaform
