// Key pairs and their certificate requests: the Enroller's createRequest and
// createRequestPair.
#include <functional>
#include <memory>

#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "enrol/CertificateRequest.h"
#include "enrol/Enroller.h"
#include "enrol/KeyScreening.h"
#include "enrol/PendingRequests.h"
#include "platform/CodePage.h"

namespace pennaform {
namespace {

// A weak key is made again in the same container, this many times in all.
constexpr int kKeyAttempts = 20;

// ownerIsMicrosoft: the providers whose keys take the export bits; another
// (a smart card's) gets only the length.
bool ownerIsMicrosoft(std::string_view providerName) {
    return providerName.substr(0, 9) == "Microsoft";
}

// recordTogether: `write` as one change of the user's state where the
// platform keeps the registry with the stores: a record's values are then
// kept whole or not at all, and the writes cost one commit (one flush to
// the disk) instead of one each. Its result is the write's own, unless only
// the keeping failed.
platform::Status recordTogether(platform::Platform& platform,
                                const std::function<platform::Status()>& write) {
    if (platform.stores() == nullptr) return write();
    platform::Status written = platform::Status::success();
    platform::Status kept = platform.stores()->changeTogether([&] {
        written = write();
        return written;
    });
    return written.ok() ? kept : written;
}

}  // namespace

struct Enroller::NewKey {
    std::unique_ptr<platform::KeyContainer> container;
    std::unique_ptr<platform::RsaKey> key;  // null when the generation failed
    platform::PlatformError generationError = 0;
};

void Enroller::setFailure(std::int32_t code, platform::PlatformError error) {
    errorCode_ = code;
    platformError_ = error;
}

// probeRegistry: 5906 with the registry's error when it cannot be written.
bool Enroller::probeRegistry(platform::Platform& platform) {
    if (!platform.registry() || !platform.random()) {
        setFailure(codes::kInsufficientRights, platform::errors::kErrorNotSupported);
        return false;
    }
    // The probe's value is set and deleted in one commit.
    platform::Status probed = recordTogether(
        platform, [&] { return probeRegistryWrite(*platform.registry(), *platform.random()); });
    if (!probed) setFailure(codes::kInsufficientRights, probed.error());
    return probed.ok();
}

// generationFlags: exportable, or else archivable so that the screening
// can read the new key once; user-protected on request.
std::uint32_t Enroller::generationFlags() const {
    if (!ownerIsMicrosoft(providerName_)) return 0;
    std::uint32_t flags =
        (genKeyFlags_ & 1) != 0 ? platform::keyFlags::kExportable : platform::keyFlags::kArchivable;
    if ((genKeyFlags_ & 2) != 0) flags |= platform::keyFlags::kUserProtected;
    return flags;
}

// generateScreenedKey: a container of the name with a key that passed the
// screening, or with no key when the generation itself failed (the request
// then reports it). nullopt with the code set: 5203/5047 no container, 1501
// only weak keys.
std::optional<Enroller::NewKey> Enroller::generateScreenedKey(platform::Platform& platform,
                                                              const std::string& containerName) {
    const platform::ContainerRef ref{containerName, providerName_, providerType_};
    for (int attempt = 0; attempt < kKeyAttempts; ++attempt) {
        auto container = platform.keys()->createContainer(ref);
        if (!container) {
            const bool unsupported = container.error() == platform::errors::kNteKeysetNotDef ||
                                     container.error() == platform::errors::kNteBadProvType;
            setFailure(unsupported ? codes::kProviderUnsupported : codes::kProviderUnavailable,
                       container.error());
            return std::nullopt;
        }
        auto key = (*container)->generateKeyPair(keySpec_, keyBits_, generationFlags());
        if (!key) {
            clearError();
            return NewKey{std::move(*container), nullptr, key.error()};
        }
        ScreeningResult screening = screenKey(**key);
        if (!screening.weak) {
            clearError();
            return NewKey{std::move(*container), std::move(*key), 0};
        }
        setFailure(codes::kWeakKey, screening.exportError);
        key->reset();
        container->reset();
        (void)platform.keys()->deleteContainer(ref);
    }
    return std::nullopt;
}

// requestForNewKey: one key of the current key spec in a new container, its
// request and its record; the request text, empty on failure.
std::string Enroller::requestForNewKey(platform::Platform& platform, std::u16string_view commonName,
                                       const std::string& dateTime) {
    platform::Outcome<std::string> containerName = newContainerName(*platform.random());
    if (!containerName) {
        setFailure(codes::kProviderUnavailable, containerName.error());
        return {};
    }
    std::optional<NewKey> made = generateScreenedKey(platform, *containerName);
    if (!made) return {};
    if (!made->key) {
        // The container stays, empty, as the failed generation left it.
        setFailure(codes::kKeyGenerationFailed, made->generationError);
        return {};
    }
    platform::Outcome<platform::Bytes> request =
        certificationRequest(*made->container, keySpec_, commonName);
    if (!request) {
        setFailure(codes::kKeyGenerationFailed, request.error());
        return {};
    }
    ByteBuffer text;
    if (!text.base64Encode(request->data(), std::int32_t(request->size()))) {
        setFailure(codes::kAllocation, 0);
        return {};
    }
    platform::Outcome<platform::Bytes> publicKey = made->key->exportPublicKeyBlob();
    platform::Status recorded =
        publicKey ? recordTogether(platform,
                                   [&] {
                                       return writePendingRequest(
                                           *platform.registry(), registryBranch_, *containerName,
                                           {providerName_, providerType_, std::uint32_t(keySpec_),
                                            std::move(*publicKey), dateTime, toAnsi(commonName)});
                                   })
                  : platform::Status(publicKey.failure());
    if (!recorded) {
        setFailure(codes::kRecordNotWritten, recorded.error());
        return {};
    }
    return std::string(text.text());
}

// keepTogether: `steps` as one change of the user's state. A request's
// probe, key and record then cost one flush to the disk instead of one each,
// and a process that dies midway leaves no key without its record. A step
// that fails keeps what the steps before it made, as it would alone; when
// the change cannot begin, the registry cannot be written (5906), and when
// it cannot be kept, nothing of it stays and no request is given out.
void Enroller::keepTogether(platform::Platform& platform, const std::function<void()>& steps) {
    bool ran = false;
    platform::Status kept = recordTogether(platform, [&] {
        ran = true;
        steps();
        return platform::Status::success();
    });
    if (kept) return;
    requests_.clear();
    if (!ran) {
        setFailure(codes::kInsufficientRights, kept.error());
    } else if (errorCode_ == codes::kSuccess) {
        setFailure(codes::kRecordNotWritten, kept.error());
    }
}

// mayRequest: the checks before any key is made: the registry probe, a
// common name and a provider; false with the code set.
bool Enroller::mayRequest(platform::Platform& platform, std::u16string_view commonName) {
    if (!probeRegistry(platform)) return false;
    if (commonName.empty()) {
        setFailure(codes::kBadArgument, 0);
        return false;
    }
    if (providerName_.empty() || !platform.keys()) {
        setFailure(codes::kProviderNotInstalled, 0);
        return false;
    }
    return true;
}

std::string Enroller::createRequest(platform::Platform& platform, std::u16string_view commonName) {
    const std::string dateTime = platform.os() ? localDateTime(*platform.os()) : std::string();
    clearError();
    requests_.clear();
    keepTogether(platform, [&] {
        if (!mayRequest(platform, commonName)) return;
        requests_.forSigning = requestForNewKey(platform, commonName, dateTime);
    });
    return requests_.forSigning;
}

std::int32_t Enroller::createRequestPair(platform::Platform& platform,
                                         std::u16string_view commonName) {
    const std::string dateTime = platform.os() ? localDateTime(*platform.os()) : std::string();
    clearError();
    requests_.clear();
    keepTogether(platform, [&] {
        if (!mayRequest(platform, commonName)) return;
        keySpec_ = platform::KeySpec::kSignature;
        requests_.forSigning = requestForNewKey(platform, commonName, dateTime);
        if (errorCode_ == codes::kSuccess) {
            keySpec_ = platform::KeySpec::kKeyExchange;
            requests_.forEncryption = requestForNewKey(platform, commonName, dateTime);
        }
        keySpec_ = platform::KeySpec::kKeyExchange;
        if (errorCode_ != codes::kSuccess) requests_.clear();
    });
    return errorCode_;
}

}  // namespace pennaform
