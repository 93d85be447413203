// SignerState: the current signer the Engine keeps between a selection and
// the signatures that follow it, with what selection and signing keep open
// beside it. Plain data: the selection, signing and port operations give it
// its meaning.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "pfx/PfxStore.h"
#include "platform/Platform.h"
#include "platform/SecretText.h"

namespace pennaform {

// Values of SignerState::signerMedia.
namespace signerMedia {
inline constexpr std::int32_t kNone = -1;
inline constexpr std::int32_t kPersonalStore = 1;
inline constexpr std::int32_t kPfxFile = 2;
}  // namespace signerMedia

// SigningCache: what a signature opens and the next signature reuses: the
// personal store "MY", opened on first use, with the platform error of that
// opening, and the private key of the last signature. Every selection
// releases it.
struct SigningCache {
    std::unique_ptr<platform::CertificateStore> personalStore;
    platform::PlatformError personalStoreError = 0;
    std::optional<platform::KeyContext> signerKey;
};

// SignerState: the current signer. The certificate is kept as its encoding
// and its SHA-1 thumbprint only, and is found again in its store at each
// signature; a PFX signer keeps the file and password it came from. Text is
// 8-bit in the process code page. The platform that opened the stores and
// keys held here must outlive the object.
struct SignerState {
    SignerState() = default;
    SignerState(const SignerState&) = delete;
    SignerState& operator=(const SignerState&) = delete;
    ~SignerState();

    // The signer record; the names are the keys under which the signer port
    // keeps the same fields.
    std::int32_t signerMedia = signerMedia::kNone;  // signerMedia values
    std::string signerCertHash;                     // 40 upper-case hex digits
    platform::Bytes signerCertBytes;                // the certificate's DER
    platform::SecretText signerCertPasswd;          // PFX password; empty for "MY"
    std::string signerCertFilePath;                 // PFX folder; empty for "MY"
    std::string signerCertFileName;                 // PFX file name; empty for "MY"

    // keptPfx: the PFX file a selection kept loaded (keepPfx: it was asked
    // to), so that signing needs neither the file nor its password again.
    std::unique_ptr<PfxStore> keptPfx;
    bool keepPfx = false;

    SigningCache signingCache;

    // port: the shared block of the signer port, opened on first use and kept
    // until the Engine goes; null until then, or when it could not be opened.
    // Reach it through openSignerPort (signing/SignerPort.h).
    std::unique_ptr<platform::SharedBlock> port;
    // portScope: whom the port is shared with: empty for every caller of
    // the session, a web origin for a page's bridge connection (see
    // signerPortName).
    std::string portScope;

    // clearCurrentSigner: no signer any more: the record emptied (the
    // password wiped), the kept PFX store closed through closePfx (its
    // imported keys deleted unless they were taken over), the keep flag
    // cleared and the signing cache released. The port stays open: it
    // outlives selections, and closing the last handle on the block would
    // lose what it holds for the other processes.
    void clearCurrentSigner();
};

}  // namespace pennaform
