// Enroller: the Engine's provider and enrolment record: which provider makes
// and keeps the keys, with which settings, and whether SHA-256 signatures are
// available. Its operations report through their own error fields, which the
// Engine operation that called them copies into its own.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/KeyProviders.h"
#include "platform/OsFacts.h"
#include "platform/PlatformTypes.h"
#include "platform/ProviderNames.h"

namespace pennaform {

// The providers the component knows by name.
namespace providerNames = platform::providerNames;

class Enroller {
public:
    // Enroller: error fields 0, key spec AT_KEYEXCHANGE, key-generation flags
    // 1 (exportable), not SHA-2 capable, no provider chosen. The installed
    // list keeps the platform's providers of type 1 or 24, in the platform's
    // order, the first of equal names (compared byte for byte) only.
    explicit Enroller(std::span<const platform::ProviderInfo> platformProviders);

    std::int32_t errorCode() const { return errorCode_; }
    std::uint32_t platformError() const { return platformError_; }
    std::uint32_t keyBits() const { return keyBits_; }
    const std::string& providerName() const { return providerName_; }
    std::uint32_t providerType() const { return providerType_; }
    platform::KeySpec keySpec() const { return keySpec_; }
    std::uint32_t genKeyFlags() const { return genKeyFlags_; }
    const std::vector<std::string>& installedProviders() const { return installed_; }
    bool sha2Capable() const { return sha2Capable_; }
    // sha2ProviderName: the AES provider the OS defaults chose; empty until then.
    const std::string& sha2ProviderName() const { return sha2ProviderName_; }
    // registryBranch: the per-user key that holds the pending-request records.
    const std::string& registryBranch() const { return registryBranch_; }

    // setRegistryBranch: the branch becomes "Software\QUVO\" + name.
    void setRegistryBranch(std::string_view name);
    // setKeyBits: 1024, 2048 and 4096 are kept and give 0; any other length
    // gives 5301 and keeps the previous one.
    std::int32_t setKeyBits(std::int32_t bits);
    // setKeySpec: 2 chooses AT_SIGNATURE, anything else AT_KEYEXCHANGE; gives 0.
    std::int32_t setKeySpec(std::int32_t spec);
    // setGenKeyFlags: 0, 2 and 3 are kept as they are, anything else becomes
    // 1 (exportable only); gives 0.
    std::int32_t setGenKeyFlags(std::int32_t flags);
    // setProviderName: chooses an installed provider by its exact name (case
    // matters): 0, with type 24 for the two AES providers and 1 for the
    // others. An empty name gives 5005, a name not installed 5046; both leave
    // the provider as it was. The SHA-2 fields are not touched.
    std::int32_t setProviderName(std::string_view name);
    // applyOsDefaults: the provider defaults of a Windows version: SHA-2
    // capability, and for XP and later the AES provider (the Prototype one
    // before XP service pack 3). Versions before XP only lose the SHA-2 flag.
    void applyOsDefaults(const platform::OsVersion& version);

private:
    void clearError();
    void chooseAesDefault(std::string_view name);
    void applyXpDefaults(const platform::OsVersion& version);

    std::int32_t errorCode_ = 0;
    std::uint32_t platformError_ = 0;
    std::uint32_t keyBits_ = 2048;
    std::string providerName_;
    std::uint32_t providerType_ = platform::providerTypes::kRsaFull;
    platform::KeySpec keySpec_ = platform::KeySpec::kKeyExchange;
    std::uint32_t genKeyFlags_ = 1;
    std::vector<std::string> installed_;
    bool sha2Capable_ = false;
    std::string sha2ProviderName_;
    std::string registryBranch_;
};

// servicePackNumber: the number in a service-pack text such as
// "Service Pack 3", read as atoi reads it from the fourteenth character on
// (0 when the text is shorter or holds no digits there); nullopt for an
// empty text, which names no service pack at all.
std::optional<std::int32_t> servicePackNumber(std::string_view csdVersion);

}  // namespace pennaform
