// The five software RSA providers, by the names and types they have on
// Windows: the backend offers them, the Enroller chooses among them.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/PlatformTypes.h"

namespace pennaform::platform {

namespace providerNames {
inline constexpr std::string_view kBase = "Microsoft Base Cryptographic Provider v1.0";
inline constexpr std::string_view kEnhanced = "Microsoft Enhanced Cryptographic Provider v1.0";
inline constexpr std::string_view kStrong = "Microsoft Strong Cryptographic Provider";
inline constexpr std::string_view kAes = "Microsoft Enhanced RSA and AES Cryptographic Provider";
inline constexpr std::string_view kAesPrototype =
    "Microsoft Enhanced RSA and AES Cryptographic Provider (Prototype)";
}  // namespace providerNames

struct ProviderName {
    std::string_view name;
    std::uint32_t type;  // providerTypes::kRsaFull or kRsaAes
};

// kSoftwareProviders: the five, in the order Windows enumerates them
// (ascending by name, ignoring case).
inline constexpr ProviderName kSoftwareProviders[] = {
    {providerNames::kBase, providerTypes::kRsaFull},
    {providerNames::kEnhanced, providerTypes::kRsaFull},
    {providerNames::kAes, providerTypes::kRsaAes},
    {providerNames::kAesPrototype, providerTypes::kRsaAes},
    {providerNames::kStrong, providerTypes::kRsaFull},
};

}  // namespace pennaform::platform
