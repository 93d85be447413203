#include "signing/LocateSigner.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "encoding/ErrorTable.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/ProviderNames.h"

namespace pennaform {
namespace {

using platform::CertificateStore;

constexpr std::size_t kThumbprintDigits = 40;

// sha1OfThumbprint: the 20 bytes of a thumbprint text of 40 upper-case hex
// digits; nullopt for any other text, which no thumbprint equals.
std::optional<platform::Bytes> sha1OfThumbprint(std::string_view text) {
    if (text.size() != kThumbprintDigits) return std::nullopt;
    auto value = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    platform::Bytes bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = value(text[i]), low = value(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(std::uint8_t(high * 16 + low));
    }
    return bytes;
}

// signerStore: the store that holds the current signer (step 1).
SigningResult signerStore(platform::Platform& platform, SignerState& signer, LocatedSigner& out) {
    if (signer.signerMedia == signerMedia::kPersonalStore) {
        SigningCache& cache = signer.signingCache;
        if (cache.personalStore == nullptr) {
            auto opened = platform.stores() != nullptr
                              ? platform.stores()->openSystemStore(platform::SystemStore::kMy)
                              : platform::Outcome<std::unique_ptr<CertificateStore>>(
                                    platform::fail(platform::errors::kErrorNotSupported));
            if (!opened) return {codes::kPersonalStoreOpenFailed, opened.error()};
            cache.personalStore = std::move(*opened);
            cache.personalStoreError = 0;
        }
        out.store = cache.personalStore.get();
        return {};
    }
    if (signer.signerMedia != signerMedia::kPfxFile) return {codes::kNoSignerSelected, 0};
    if (signer.keepPfx && signer.keptPfx != nullptr && signer.keptPfx->store() != nullptr) {
        out.store = signer.keptPfx->store();
        return {};
    }
    const std::string path = pfxFilePath(signer.signerCertFilePath, signer.signerCertFileName);
    if (path.empty()) return {codes::kNoSignerSelected, 0};
    if (!platform::pathExists(path)) return {codes::kCertificateFileUnreadable, 0};
    auto holder = std::make_unique<PfxStore>(platform);
    const std::int32_t loaded =
        loadPfx(*holder, path, signer.signerCertPasswd.view(), pfxLoadFlags::kExportableKeys);
    if (loaded != codes::kSuccess) return {loaded, holder->platformError()};
    out.store = holder->store();
    if (signer.keepPfx) {
        signer.keptPfx = std::move(holder);
    } else {
        out.oneCallPfx = std::move(holder);
    }
    return {};
}

// isTypeOneMicrosoftProvider: one of the three providers whose keys a SHA-2
// provider can use in their place.
bool isTypeOneMicrosoftProvider(std::string_view name) {
    return name == providerNames::kBase || name == providerNames::kEnhanced ||
           name == providerNames::kStrong;
}

// moveToSha2Provider: step 4. The binding changes in this store object only:
// on Windows the flag of that call would persist it, which the component
// never meant to do to the user's certificate. True when it moved.
bool moveToSha2Provider(const Enroller& enroller, SignerState& signer, LocatedSigner& found) {
    const std::string provider = toAnsi(found.keyProvInfo.providerName);
    if (!enroller.sha2Capable() || provider == enroller.sha2ProviderName() ||
        !isTypeOneMicrosoftProvider(provider)) {
        return false;
    }
    found.keyProvInfo.providerName = toWide(enroller.sha2ProviderName());
    found.keyProvInfo.providerType = platform::providerTypes::kRsaAes;
    if (!found.store->setKeyProvInfo(found.id, found.keyProvInfo,
                                     platform::PropertyScope::kMemoryOnly)) {
        return false;
    }
    signer.signingCache.signerKey.reset();
    return true;
}

}  // namespace

SigningResult locateSigner(platform::Platform& platform, const Enroller& enroller,
                           SignerState& signer, LocatedSigner& out) {
    SigningResult opened = signerStore(platform, signer, out);
    if (!opened.ok()) return opened;
    std::optional<platform::Bytes> sha1 = sha1OfThumbprint(signer.signerCertHash);
    if (!sha1) return {codes::kNoSignerSelected, 0};
    // One reading gives the certificate, its binding and, from the second
    // signature on, the key context this store object acquired at the first.
    auto found = out.store->findBySha1WithProperties(*sha1);
    if (!found) return {codes::kNoSignerSelected, 0};
    out.id = found->certificate.id;
    out.certificate = std::move(found->certificate.encoded);
    const platform::CertProperties& properties = found->properties;
    if (!properties.keyProvInfo) {
        const platform::PlatformError storeError =
            out.store == signer.signingCache.personalStore.get()
                ? signer.signingCache.personalStoreError
                : platform::errors::kCryptENotFound;
        return {codes::kNoPrivateKey, storeError};
    }
    out.keyProvInfo = *properties.keyProvInfo;
    const bool moved = moveToSha2Provider(enroller, signer, out);

    platform::Outcome<platform::KeyContext> key =
        properties.keyContext && !moved
            ? platform::Outcome<platform::KeyContext>(*properties.keyContext)
            : out.store->acquirePrivateKey(out.id);
    if (!key) {
        const bool microsoft =
            toAnsi(out.keyProvInfo.providerName).find("Microsoft") != std::string::npos;
        return {microsoft ? codes::kNoPrivateKey : codes::kCardNotReady, key.error()};
    }
    out.key = *key;
    signer.signingCache.signerKey = *key;
    return {};
}

}  // namespace pennaform
