#include "signing/SignerState.h"

namespace pennaform {

SignerState::~SignerState() = default;

void SignerState::clearCurrentSigner() {
    signerMedia = signerMedia::kNone;
    signerCertHash.clear();
    signerCertBytes.clear();
    signerCertPasswd.clear();
    signerCertFilePath.clear();
    signerCertFileName.clear();
    if (keptPfx != nullptr) {
        closePfx(*keptPfx);
        keptPfx.reset();
    }
    keepPfx = false;
    signingCache = SigningCache{};
}

}  // namespace pennaform
