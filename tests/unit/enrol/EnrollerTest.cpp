// The Enroller: its installed list, its setters, provider choice by name, and
// the provider defaults of every Windows version.
#include "enrol/Enroller.h"

#include <gtest/gtest.h>

#include <vector>

namespace pennaform {
namespace {

using platform::OsVersion;
using platform::ProviderInfo;

constexpr std::uint32_t kFull = 1, kAesType = 24;

// The five providers a Windows machine usually lists, with a DSS and a smart
// card provider among them that the Enroller must leave out.
const std::vector<ProviderInfo> kWindowsProviders = {
    {std::string(providerNames::kBase), kFull},
    {"Microsoft Base DSS Cryptographic Provider", 3},
    {std::string(providerNames::kEnhanced), kFull},
    {std::string(providerNames::kAes), kAesType},
    {std::string(providerNames::kAesPrototype), kAesType},
    {"Microsoft Base Smart Card Crypto Provider", 1},
    {std::string(providerNames::kStrong), kFull},
    {"Vendor Card Provider", 12},
};

OsVersion windows(std::uint32_t major, std::uint32_t minor, std::uint8_t productType = 1,
                  std::string csd = "") {
    OsVersion v;
    v.major = major;
    v.minor = minor;
    v.platformId = 2;
    v.productType = productType;
    v.csdVersion = std::move(csd);
    return v;
}

TEST(EnrollerConstruction, KeepsProvidersOfType1And24OnceEach) {
    std::vector<ProviderInfo> listed = kWindowsProviders;
    listed.push_back({std::string(providerNames::kBase), kFull});          // repeated
    listed.push_back({"microsoft strong cryptographic provider", kFull});  // other case: distinct
    Enroller enroller(listed);
    EXPECT_EQ(enroller.installedProviders(),
              (std::vector<std::string>{
                  std::string(providerNames::kBase), std::string(providerNames::kEnhanced),
                  std::string(providerNames::kAes), std::string(providerNames::kAesPrototype),
                  "Microsoft Base Smart Card Crypto Provider", std::string(providerNames::kStrong),
                  "microsoft strong cryptographic provider"}));
}

TEST(EnrollerConstruction, StartsWithNothingChosen) {
    Enroller enroller(kWindowsProviders);
    EXPECT_EQ(enroller.errorCode(), 0);
    EXPECT_EQ(enroller.platformError(), 0u);
    EXPECT_EQ(enroller.providerName(), "");
    EXPECT_EQ(enroller.keySpec(), platform::KeySpec::kKeyExchange);
    EXPECT_EQ(enroller.genKeyFlags(), 1u);
    EXPECT_FALSE(enroller.sha2Capable());
    EXPECT_EQ(enroller.sha2ProviderName(), "");
    EXPECT_EQ(enroller.registryBranch(), "");
}

TEST(EnrollerSettings, KeyBitsTakeOnlyTheThreeLengths) {
    Enroller enroller(kWindowsProviders);
    for (std::int32_t bits : {1024, 4096, 2048}) {
        EXPECT_EQ(enroller.setKeyBits(bits), 0);
        EXPECT_EQ(enroller.keyBits(), std::uint32_t(bits));
    }
    for (std::int32_t bits : {0, 512, 1023, 3072, 8192, -2048}) {
        EXPECT_EQ(enroller.setKeyBits(bits), 5301) << bits;
        EXPECT_EQ(enroller.errorCode(), 5301);
        EXPECT_EQ(enroller.keyBits(), 2048u) << "the previous length stays";
    }
    EXPECT_EQ(enroller.setKeyBits(1024), 0);
    EXPECT_EQ(enroller.errorCode(), 0) << "a later success clears the code";
}

TEST(EnrollerSettings, KeySpecFlagsAndBranch) {
    Enroller enroller(kWindowsProviders);
    EXPECT_EQ(enroller.setKeySpec(2), 0);
    EXPECT_EQ(enroller.keySpec(), platform::KeySpec::kSignature);
    for (std::int32_t spec : {1, 0, 3, -1}) {
        EXPECT_EQ(enroller.setKeySpec(spec), 0);
        EXPECT_EQ(enroller.keySpec(), platform::KeySpec::kKeyExchange) << spec;
    }
    for (std::int32_t kept : {0, 2, 3}) {
        EXPECT_EQ(enroller.setGenKeyFlags(kept), 0);
        EXPECT_EQ(enroller.genKeyFlags(), std::uint32_t(kept));
    }
    for (std::int32_t other : {1, 4, 7, -1, 0x4000}) {
        EXPECT_EQ(enroller.setGenKeyFlags(other), 0);
        EXPECT_EQ(enroller.genKeyFlags(), 1u) << other;
    }
    enroller.setRegistryBranch("Pennaform");
    EXPECT_EQ(enroller.registryBranch(), "Software\\QUVO\\Pennaform");
}

TEST(EnrollerProviderName, ExactInstalledNamesOnly) {
    Enroller enroller(kWindowsProviders);
    EXPECT_EQ(enroller.setProviderName(providerNames::kStrong), 0);
    EXPECT_EQ(enroller.providerName(), providerNames::kStrong);
    EXPECT_EQ(enroller.providerType(), kFull);
    EXPECT_EQ(enroller.setProviderName(providerNames::kAes), 0);
    EXPECT_EQ(enroller.providerType(), kAesType);
    EXPECT_EQ(enroller.setProviderName(providerNames::kAesPrototype), 0);
    EXPECT_EQ(enroller.providerType(), kAesType);
    EXPECT_EQ(enroller.setProviderName(providerNames::kBase), 0);
    EXPECT_EQ(enroller.providerType(), kFull);

    // Refusals keep the provider chosen before.
    EXPECT_EQ(enroller.setProviderName("MICROSOFT STRONG CRYPTOGRAPHIC PROVIDER"), 5046);
    EXPECT_EQ(enroller.setProviderName("Microsoft Strong Cryptographic Provider "), 5046);
    EXPECT_EQ(enroller.setProviderName("Microsoft Base DSS Cryptographic Provider"), 5046);
    EXPECT_EQ(enroller.setProviderName(""), 5005);
    EXPECT_EQ(enroller.errorCode(), 5005);
    EXPECT_EQ(enroller.providerName(), providerNames::kBase);
    EXPECT_EQ(enroller.providerType(), kFull);
    EXPECT_FALSE(enroller.sha2Capable()) << "choosing by name leaves the SHA-2 fields alone";
    EXPECT_EQ(enroller.sha2ProviderName(), "");
}

TEST(EnrollerProviderName, NothingInstalledMeansNothingCanBeChosen) {
    Enroller enroller(std::vector<ProviderInfo>{});
    EXPECT_TRUE(enroller.installedProviders().empty());
    EXPECT_EQ(enroller.setProviderName(providerNames::kAes), 5046);
    EXPECT_EQ(enroller.providerName(), "");
}

TEST(ServicePackNumber, ReadFromTheFourteenthCharacter) {
    EXPECT_EQ(servicePackNumber(""), std::nullopt);
    EXPECT_EQ(servicePackNumber("Service Pack 3"), 3);
    EXPECT_EQ(servicePackNumber("Service Pack 2"), 2);
    EXPECT_EQ(servicePackNumber("Service Pack 12, v.3244"), 12);
    EXPECT_EQ(servicePackNumber("Service Pack  4"), 4);  // atoi skips the blank
    EXPECT_EQ(servicePackNumber("Service Pack x"), 0);
    EXPECT_EQ(servicePackNumber("SP3"), 0);  // shorter than 14 characters
    EXPECT_EQ(servicePackNumber("Service Pack "), 0);
    EXPECT_EQ(servicePackNumber("Service Pack -1"), -1);
    EXPECT_EQ(servicePackNumber("Service Pack 99999999999999"), 2147483647);
}

struct DefaultsCase {
    OsVersion version;
    bool sha2;
    std::string_view provider;  // empty: left as it was
    std::int32_t errorCode;
};

TEST(ApplyOsDefaults, EveryRowOfTheTable) {
    using namespace providerNames;
    const DefaultsCase cases[] = {
        {windows(4, 0), false, "", 0},
        {windows(4, 10), false, "", 0},
        {windows(4, 90), false, "", 0},
        {windows(5, 0), false, "", 0},
        {windows(5, 3), false, "", 0},
        {windows(5, 1, 1, "Service Pack 3"), true, kAesPrototype, 0},
        {windows(5, 1, 1, "Service Pack 2"), false, kAesPrototype, 0},
        {windows(5, 1, 1, ""), false, kAesPrototype, 0},
        {windows(5, 2, 1, "Service Pack 3"), true, kAesPrototype, 0},
        {windows(5, 2, 1, "Service Pack 1"), false, kAesPrototype, 0},
        {windows(5, 2, 3, ""), true, kAes, 0},
        {windows(5, 2, 3, "Service Pack 1"), true, kAes, 0},
        {windows(6, 0), true, kAes, 0},
        {windows(6, 1, 3), true, kAes, 0},
        {windows(6, 3), true, kAes, 0},
        {windows(6, 4), true, kAes, 0},
        {windows(10, 0), true, kAes, 0},
        {windows(10, 0, 3), true, kAes, 0},
        {windows(10, 1), true, kAes, 0},
        {windows(3, 51), false, "", 0},
        {windows(11, 0), false, "", 0},
    };
    for (const DefaultsCase& c : cases) {
        Enroller enroller(kWindowsProviders);
        ASSERT_EQ(enroller.setProviderName(kStrong), 0);
        enroller.applyOsDefaults(c.version);
        std::string label =
            std::to_string(c.version.major) + "." + std::to_string(c.version.minor) + " type " +
            std::to_string(c.version.productType) + " '" + c.version.csdVersion + "'";
        EXPECT_EQ(enroller.sha2Capable(), c.sha2) << label;
        EXPECT_EQ(enroller.errorCode(), c.errorCode) << label;
        if (c.provider.empty()) {
            EXPECT_EQ(enroller.providerName(), kStrong) << label;
            EXPECT_EQ(enroller.providerType(), kFull) << label;
            EXPECT_EQ(enroller.sha2ProviderName(), "") << label;
        } else {
            EXPECT_EQ(enroller.providerName(), c.provider) << label;
            EXPECT_EQ(enroller.sha2ProviderName(), c.provider) << label;
            EXPECT_EQ(enroller.providerType(), kAesType) << label;
        }
    }
}

TEST(ApplyOsDefaults, ClearsTheFlagOnEveryCall) {
    Enroller enroller(kWindowsProviders);
    enroller.applyOsDefaults(windows(10, 0));
    ASSERT_TRUE(enroller.sha2Capable());
    enroller.applyOsDefaults(windows(5, 0));
    EXPECT_FALSE(enroller.sha2Capable());
    EXPECT_EQ(enroller.providerName(), providerNames::kAes) << "5.0 leaves the provider alone";
}

TEST(ApplyOsDefaults, OldXpWithoutThePrototypeProviderShows5046) {
    Enroller enroller(std::vector<ProviderInfo>{{std::string(providerNames::kBase), kFull}});
    enroller.applyOsDefaults(windows(5, 1, 1, "Service Pack 2"));
    EXPECT_EQ(enroller.errorCode(), 5046);
    EXPECT_EQ(enroller.providerName(), providerNames::kAesPrototype) << "the name stays set";
    EXPECT_EQ(enroller.providerType(), kAesType);
    EXPECT_FALSE(enroller.sha2Capable());

    // Service pack 3 does not choose by name, so nothing is reported.
    enroller.applyOsDefaults(windows(5, 1, 1, "Service Pack 3"));
    EXPECT_EQ(enroller.errorCode(), 0);
    EXPECT_TRUE(enroller.sha2Capable());
}

}  // namespace
}  // namespace pennaform
