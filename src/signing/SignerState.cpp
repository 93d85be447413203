#include "signing/SignerState.h"

namespace pennaform {
namespace {

// wipe: overwrites the text's characters before it is emptied, so a password
// does not linger in freed memory; the volatile writes are not optimised away.
void wipe(std::string& text) {
    volatile char* bytes = text.data();
    for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
    text.clear();
}

}  // namespace

SignerState::~SignerState() {
    wipe(signerCertPasswd);
}

void SignerState::clearCurrentSigner() {
    signerMedia = signerMedia::kNone;
    signerCertHash.clear();
    signerCertBytes.clear();
    wipe(signerCertPasswd);
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
