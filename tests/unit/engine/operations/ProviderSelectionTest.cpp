// SetProviderName through the Engine, and GetOSName taking the provider back.
#include <gtest/gtest.h>

#include "engine/Engine.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

constexpr std::u16string_view kStrong = u"Microsoft Strong Cryptographic Provider";
constexpr std::u16string_view kAes = u"Microsoft Enhanced RSA and AES Cryptographic Provider";

class ProviderSelection : public ::testing::Test {
protected:
    test::TemporaryFolder folder_;
    Engine engine_{EngineConfig{folder_.sub("home")}};
};

TEST_F(ProviderSelection, TheEngineStartsWithTheDefaultsOfAVersion10Platform) {
    EXPECT_EQ(engine_.enroller().providerName(), providerNames::kAes);
    EXPECT_EQ(engine_.enroller().providerType(), 24u);
    EXPECT_TRUE(engine_.enroller().sha2Capable());
    EXPECT_EQ(engine_.enroller().installedProviders().size(), 5u);
}

TEST_F(ProviderSelection, ExactNamesOfInstalledProviders) {
    engine_.setCapiError(7);
    EXPECT_EQ(engine_.SetProviderName(kStrong), 0);
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    EXPECT_EQ(engine_.GetCapiErrorCode(), 0);
    EXPECT_EQ(engine_.enroller().providerName(), providerNames::kStrong);
    EXPECT_EQ(engine_.enroller().providerType(), 1u);

    EXPECT_EQ(engine_.SetProviderName(kAes), 0);
    EXPECT_EQ(engine_.enroller().providerType(), 24u);
    EXPECT_EQ(engine_.SetProviderName(u"Microsoft Base Cryptographic Provider v1.0"), 0);
    EXPECT_EQ(engine_.enroller().providerType(), 1u);

    EXPECT_EQ(engine_.SetProviderName(u"microsoft strong cryptographic provider"), 5046);
    EXPECT_EQ(engine_.GetErrorCode(), 5046);
    EXPECT_EQ(engine_.SetProviderName(u"Microsoft Base DSS Cryptographic Provider"), 5046);
    EXPECT_EQ(engine_.SetProviderName(u""), 5005);
    EXPECT_EQ(engine_.GetErrorCode(), 5005);
    EXPECT_EQ(engine_.enroller().providerName(), "Microsoft Base Cryptographic Provider v1.0");
}

TEST_F(ProviderSelection, TheNameEndsAtItsFirstNul) {
    std::u16string withTail(kStrong);
    withTail += u'\0';
    withTail += u"tail";
    EXPECT_EQ(engine_.SetProviderName(withTail), 0);
    EXPECT_EQ(engine_.enroller().providerName(), providerNames::kStrong);
    EXPECT_EQ(engine_.SetProviderName(std::u16string_view(u"\0x", 2)), 5005);
}

TEST_F(ProviderSelection, GetOSNameTakesTheProviderBack) {
    ASSERT_EQ(engine_.SetProviderName(kStrong), 0);
    engine_.GetOSName();
    EXPECT_EQ(engine_.enroller().providerName(), providerNames::kAes);
    EXPECT_EQ(engine_.enroller().providerType(), 24u);
}

TEST_F(ProviderSelection, ProtectedModeChecksTheNameFirst) {
    Engine engine(EngineConfig{folder_.sub("home"), true});
    EXPECT_EQ(engine.SetProviderName(u""), 5005);
    EXPECT_EQ(engine.SetProviderName(kStrong), 1500);
    EXPECT_EQ(engine.SetProviderName(u"not installed"), 1500);
    EXPECT_EQ(engine.enroller().providerName(), providerNames::kAes);
}

}  // namespace
}  // namespace pennaform
