#include "enrol/Enroller.h"

#include <algorithm>
#include <limits>

#include "encoding/ErrorTable.h"

namespace pennaform {
namespace {

constexpr std::string_view kRegistryRoot = "Software\\QUVO\\";
// The service-pack text is "Service Pack N": the number starts at the
// fourteenth character.
constexpr std::size_t kServicePackNumberAt = 13;

bool isAesProvider(std::string_view name) {
    return name == providerNames::kAes || name == providerNames::kAesPrototype;
}

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoiLike: what atoi makes of the text, saturated at the 32-bit limits
// instead of overflowing.
std::int32_t atoiLike(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isAsciiSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(value * 10 + (text[i] - '0'), kLimit);
    }
    if (negative) return std::int32_t(-value);
    return std::int32_t(std::min<std::int64_t>(value, kLimit - 1));
}

}  // namespace

std::optional<std::int32_t> servicePackNumber(std::string_view csdVersion) {
    if (csdVersion.empty()) return std::nullopt;
    if (csdVersion.size() <= kServicePackNumberAt) return 0;
    return atoiLike(csdVersion.substr(kServicePackNumberAt));
}

Enroller::Enroller(std::span<const platform::ProviderInfo> platformProviders) {
    for (const platform::ProviderInfo& provider : platformProviders) {
        if (provider.type != platform::providerTypes::kRsaFull &&
            provider.type != platform::providerTypes::kRsaAes) {
            continue;
        }
        if (std::find(installed_.begin(), installed_.end(), provider.name) == installed_.end()) {
            installed_.push_back(provider.name);
        }
    }
}

void Enroller::clearError() {
    errorCode_ = codes::kSuccess;
    platformError_ = 0;
}

void Enroller::setRegistryBranch(std::string_view name) {
    clearError();
    registryBranch_ = std::string(kRegistryRoot) + std::string(name);
}

std::int32_t Enroller::setKeyBits(std::int32_t bits) {
    clearError();
    if (bits != 1024 && bits != 2048 && bits != 4096) {
        errorCode_ = codes::kBadKeyLength;
        return errorCode_;
    }
    keyBits_ = std::uint32_t(bits);
    return errorCode_;
}

std::int32_t Enroller::setKeySpec(std::int32_t spec) {
    clearError();
    keySpec_ = spec == 2 ? platform::KeySpec::kSignature : platform::KeySpec::kKeyExchange;
    return errorCode_;
}

std::int32_t Enroller::setGenKeyFlags(std::int32_t flags) {
    clearError();
    genKeyFlags_ = flags == 0 || flags == 2 || flags == 3 ? std::uint32_t(flags) : 1u;
    return errorCode_;
}

std::int32_t Enroller::setProviderName(std::string_view name) {
    errorCode_ = codes::kProviderNotInstalled;
    platformError_ = 0;
    if (name.empty()) {
        errorCode_ = codes::kBadArgument;
        return errorCode_;
    }
    if (std::find(installed_.begin(), installed_.end(), name) == installed_.end()) {
        return errorCode_;
    }
    providerName_ = std::string(name);
    providerType_ =
        isAesProvider(name) ? platform::providerTypes::kRsaAes : platform::providerTypes::kRsaFull;
    errorCode_ = codes::kSuccess;
    return errorCode_;
}

void Enroller::chooseAesDefault(std::string_view name) {
    providerName_ = std::string(name);
    sha2ProviderName_ = std::string(name);
    providerType_ = platform::providerTypes::kRsaAes;
}

// XP and XP x64: the Prototype AES provider; SHA-256 only from service pack 3
// on. Below service pack 3 the Prototype provider is also chosen by name, so
// the error code shows whether it is installed.
void Enroller::applyXpDefaults(const platform::OsVersion& version) {
    chooseAesDefault(providerNames::kAesPrototype);
    std::optional<std::int32_t> servicePack = servicePackNumber(version.csdVersion);
    if (!servicePack) return;
    if (*servicePack >= 3) {
        sha2Capable_ = true;
    } else {
        setProviderName(providerNames::kAesPrototype);
    }
}

void Enroller::applyOsDefaults(const platform::OsVersion& version) {
    constexpr std::uint8_t kWorkstation = 1;
    clearError();
    sha2Capable_ = false;
    switch (version.major) {
        case 5:
            if (version.minor == 1 || (version.minor == 2 && version.productType == kWorkstation)) {
                applyXpDefaults(version);
            } else if (version.minor == 2) {
                sha2Capable_ = true;
                chooseAesDefault(providerNames::kAes);
            }
            break;
        case 6:
        case 10:
            sha2Capable_ = true;
            chooseAesDefault(providerNames::kAes);
            break;
        default:
            break;
    }
}

}  // namespace pennaform
