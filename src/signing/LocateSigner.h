// LocateSigner: from the current signer to the certificate in its store and
// the private key that goes with it, as every signature starts. The store
// of a personal-store signer is kept in the signing cache for the next
// signature; a PFX signer's file is loaded for the call unless the selection
// kept it loaded.
#pragma once

#include <cstdint>
#include <memory>

#include "enrol/Enroller.h"
#include "pfx/PfxStore.h"
#include "platform/Platform.h"
#include "signing/SignerState.h"

namespace pennaform {

// SigningResult: a component code (0 on success) and the platform error
// behind it.
struct [[nodiscard]] SigningResult {
    std::int32_t code = 0;
    platform::PlatformError platformError = 0;
    bool ok() const { return code == 0; }
};

// LocatedSigner: the signer found: its certificate, key binding and key,
// and the store it was found in (the signing cache's, the kept PFX file's or
// `oneCallPfx`'s, which lives as long as this object).
struct LocatedSigner {
    platform::CertificateStore* store = nullptr;
    platform::CertId id = 0;
    platform::Bytes certificate;
    platform::KeyProvInfo keyProvInfo;
    platform::KeyContext key;
    std::unique_ptr<PfxStore> oneCallPfx;
};

// locateSigner: finds the current signer of `signer` and acquires its key,
// which the signing cache then holds:
// - the store: "MY" (opened on first use and kept in the cache; 5201 when it
//   cannot be), or the kept PFX file, or the PFX file loaded for this call
//   (5067 without a file name, 1102 when the file is gone, the loader's codes
//   when it does not load); 5067 for no signer or an unknown media;
// - the certificate whose SHA-1 is signerCertHash (findBySha1); 5067 when
//   it is not there;
// - its key binding; 5206 without one;
// - on a SHA-2 capable Enroller, a binding to one of the three type-1
//   Microsoft providers is moved to the SHA-2 provider, in this store object
//   only (a key context of the old provider is dropped with it);
// - its private key: 5225 when the binding names a provider other than
//   Microsoft's (a card), else 5206, with the platform's error.
SigningResult locateSigner(platform::Platform& platform, const Enroller& enroller,
                           SignerState& signer, LocatedSigner& out);

}  // namespace pennaform
