// The environment facts: the Windows name table with injected version data,
// GetOSName's provider defaults, the adapter text, and the facts an Engine
// reports on this host.
#include "engine/SystemDescription.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "platform/posix/OsFacts_posix.h"
#include "support/NetworkInterfaces.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

using platform::NetworkAdapter;
using platform::OsVersion;

OsVersion windows(std::uint32_t major, std::uint32_t minor, std::uint8_t productType = 1,
                  std::uint32_t platformId = 2, bool serverR2 = false) {
    OsVersion v;
    v.major = major;
    v.minor = minor;
    v.productType = productType;
    v.platformId = platformId;
    v.serverR2 = serverR2;
    return v;
}

TEST(WindowsSystemName, EveryRowOfTheTable) {
    constexpr std::uint8_t kServer = 3;
    const std::pair<OsVersion, std::string> rows[] = {
        {windows(4, 0, 1, 2), "Microsoft Windows NT 4.0"},
        {windows(4, 0, 1, 1), "Microsoft Windows 95"},
        {windows(4, 0, 1, 0), ""},
        {windows(4, 0, 1, 3), ""},
        {windows(4, 10), "Microsoft Windows 98"},
        {windows(4, 90), "Microsoft Windows Me"},
        {windows(4, 1), ""},
        {windows(5, 0), "Microsoft Windows 2000"},
        {windows(5, 1), "Microsoft Windows XP"},
        {windows(5, 2, 1), "Microsoft Windows XP Professional x64 Edition"},
        {windows(5, 2, 1, 2, true), "Microsoft Windows XP Professional x64 Edition"},
        {windows(5, 2, kServer), "Microsoft Windows Server 2003"},
        {windows(5, 2, 2, 2, true), "Microsoft Windows Server 2003 R2"},
        {windows(5, 3), ""},
        {windows(6, 0, 1), "Microsoft Windows Vista"},
        {windows(6, 0, kServer), "Microsoft Windows Server 2008"},
        {windows(6, 1, 1), "Microsoft Windows 7"},
        {windows(6, 1, kServer), "Microsoft Windows Server 2008 R2"},
        {windows(6, 2, 1), "Microsoft Windows 8"},
        {windows(6, 2, kServer), "Microsoft Windows Server 2012"},
        {windows(6, 3, 1), "Microsoft Windows 8.1"},
        {windows(6, 3, kServer), "Microsoft Windows Server 2012 R2"},
        {windows(6, 4), ""},
        {windows(10, 0, 1), "Microsoft Windows 10"},
        {windows(10, 0, kServer), "Microsoft Windows Server 2016"},
        {windows(10, 1), ""},
        {windows(3, 51), "Windows 系統無法識別"},
        {windows(11, 0), "Windows 系統無法識別"},
        {windows(0, 0), "Windows 系統無法識別"},
    };
    for (const auto& [version, name] : rows) {
        EXPECT_EQ(utf16ToUtf8(toWide(windowsSystemName(version))), name)
            << version.major << "." << version.minor << " type " << int(version.productType)
            << " platform " << version.platformId;
    }
}

// FakeOsFacts: version data and a name chosen by the test.
class FakeOsFacts : public platform::OsFacts {
public:
    platform::Outcome<OsVersion> versionResult = windows(10, 0);
    std::optional<std::string> hostName;

    platform::Outcome<OsVersion> version() const override { return versionResult; }
    std::optional<std::string> hostSystemName() const override { return hostName; }
    platform::Outcome<std::vector<NetworkAdapter>> networkAdapters() const override {
        return platform::fail(platform::errors::kErrorNoData);
    }
    std::string homeFolder() const override { return {}; }
    platform::FileTime currentTime() const override { return {}; }
    std::int64_t localTimeOffsetSeconds() const override { return 0; }
};

const std::vector<platform::ProviderInfo> kFiveProviders = {
    {std::string(providerNames::kBase), 1},   {std::string(providerNames::kEnhanced), 1},
    {std::string(providerNames::kAes), 24},   {std::string(providerNames::kAesPrototype), 24},
    {std::string(providerNames::kStrong), 1},
};

TEST(DescribeSystem, WindowsVersionDataGiveTheirNameAndDefaults) {
    FakeOsFacts os;
    Enroller enroller(kFiveProviders);
    ASSERT_EQ(enroller.setProviderName(providerNames::kStrong), 0);

    os.versionResult = windows(6, 1);
    EXPECT_EQ(describeSystem(&os, enroller), "Microsoft Windows 7");
    EXPECT_EQ(enroller.providerName(), providerNames::kAes);
    EXPECT_TRUE(enroller.sha2Capable());

    os.versionResult = windows(5, 1);
    os.versionResult->csdVersion = "Service Pack 2";
    EXPECT_EQ(describeSystem(&os, enroller), "Microsoft Windows XP");
    EXPECT_EQ(enroller.providerName(), providerNames::kAesPrototype);
    EXPECT_FALSE(enroller.sha2Capable());
}

TEST(DescribeSystem, AHostNameReplacesTheWindowsNameButNotTheDefaults) {
    FakeOsFacts os;
    os.hostName = "Debian GNU/Linux 12 (bookworm)";
    Enroller enroller(kFiveProviders);
    EXPECT_EQ(describeSystem(&os, enroller), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(enroller.providerName(), providerNames::kAes);
    EXPECT_EQ(enroller.providerType(), 24u);
}

TEST(DescribeSystem, UnreadableVersionDataChangeNothing) {
    FakeOsFacts os;
    os.versionResult = platform::fail(platform::errors::kErrorNotSupported);
    os.hostName = "ignored";
    Enroller enroller(kFiveProviders);
    ASSERT_EQ(enroller.setProviderName(providerNames::kStrong), 0);
    enroller.applyOsDefaults(windows(10, 0));
    ASSERT_EQ(enroller.setProviderName(providerNames::kStrong), 0);
    std::string expected = "Windows 作業系統偵測錯誤!";
    EXPECT_EQ(utf16ToUtf8(toWide(describeSystem(&os, enroller))), expected);
    EXPECT_EQ(utf16ToUtf8(toWide(describeSystem(nullptr, enroller))), expected);
    EXPECT_EQ(enroller.providerName(), providerNames::kStrong);
    EXPECT_TRUE(enroller.sha2Capable()) << "the flag is not cleared either";
}

TEST(MacAddressText, SixBytesEachOneLineFeedBetween) {
    NetworkAdapter first, second;
    first.address = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, 0, 0};
    first.length = 6;
    second.address = {0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x99, 0x98};  // bytes 7, 8 not shown
    second.length = 8;
    std::vector<NetworkAdapter> one{first}, two{first, second};
    EXPECT_EQ(macAddressText(one), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(macAddressText(two), "00-1A-2B-3C-4D-5E\nFF-01-02-03-04-05");
    EXPECT_EQ(macAddressText({}), "");
    NetworkAdapter shortAddress;
    shortAddress.address = {0x0A, 0x0B, 0x0C, 0x0D, 0, 0, 0, 0};
    shortAddress.length = 4;
    EXPECT_EQ(macAddressText(std::vector<NetworkAdapter>{shortAddress}), "0A-0B-0C-0D-00-00");
}

class EngineEnvironment : public ::testing::Test {
protected:
    std::string text(std::u16string s) { return utf16ToUtf8(s); }
    test::TemporaryFolder folder_;
};

TEST_F(EngineEnvironment, VersionAndSystemName) {
    Engine engine(EngineConfig{folder_.sub("home")});
    engine.setErrorCode(5004);
    EXPECT_EQ(text(engine.GetVersion()), "4.2.3.0");
    EXPECT_EQ(engine.GetErrorCode(), 0);

    std::ifstream in("/etc/os-release");
    std::stringstream content;
    content << in.rdbuf();
    std::optional<std::string> pretty = platform::prettyNameFromOsRelease(content.str());
    engine.setErrorCode(5004);
    engine.setCapiError(7);
    std::string name = text(engine.GetOSName());
    if (pretty) {
        EXPECT_EQ(name, *pretty);
    }
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(engine.GetErrorCode(), 5004) << "GetOSName clears nothing";
    EXPECT_EQ(engine.GetCapiErrorCode(), 7);
}

TEST_F(EngineEnvironment, MacAddressesAreThoseOfSysClassNet) {
    Engine engine(EngineConfig{folder_.sub("home")});
    engine.setCapiError(7);
    std::string listed = text(engine.GetMacAddress());
    std::vector<std::string> expected = test::sysfsMacAddresses();
    if (expected.empty()) {
        EXPECT_EQ(engine.GetErrorCode(), 5001);
        EXPECT_EQ(listed, "");
        EXPECT_EQ(engine.GetCapiErrorCode(), 0);
        return;
    }
    std::string joined;
    for (const std::string& address : expected) joined += (joined.empty() ? "" : "\n") + address;
    EXPECT_EQ(listed, joined);
    EXPECT_EQ(engine.GetErrorCode(), 0);
    EXPECT_EQ(engine.GetCapiErrorCode(), 0);
}

TEST_F(EngineEnvironment, HomePathIsProbedOnceAtConstruction) {
    const char* saved = std::getenv("HOME");
    std::string restore = saved ? saved : "";
    setenv("HOME", "/home/at-construction", 1);
    Engine engine(EngineConfig{folder_.sub("home")});
    setenv("HOME", "/home/changed-later", 1);
    engine.setErrorCode(5004);
    engine.setCapiError(7);
    EXPECT_EQ(text(engine.GetUserHomePath()), "/home/at-construction");
    EXPECT_EQ(engine.GetErrorCode(), 0);
    EXPECT_EQ(engine.GetCapiErrorCode(), 0);
    if (saved)
        setenv("HOME", restore.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST_F(EngineEnvironment, ProtectedModeRefusesOnlyTheAdapterList) {
    Engine engine(EngineConfig{folder_.sub("home"), true});
    EXPECT_TRUE(engine.servesUntrustedCaller());
    EXPECT_EQ(text(engine.GetMacAddress()), "");
    EXPECT_EQ(engine.GetErrorCode(), 1500);
    EXPECT_EQ(text(engine.GetVersion()), "4.2.3.0");
    EXPECT_EQ(engine.GetErrorCode(), 0);
    EXPECT_FALSE(text(engine.GetOSName()).empty());
    const char* home = std::getenv("HOME");
    EXPECT_EQ(text(engine.GetUserHomePath()), home != nullptr ? home : "");
    EXPECT_EQ(engine.GetErrorCode(), 0);
    EXPECT_FALSE(Engine(EngineConfig{folder_.sub("home")}).servesUntrustedCaller());
}

TEST_F(EngineEnvironment, ServerAuthenticationStubsOnlyClear) {
    Engine engine(EngineConfig{folder_.sub("home")});
    engine.setErrorCode(5004);
    engine.setCapiError(7);
    EXPECT_EQ(engine.GetServerAuth(), u"");
    EXPECT_EQ(engine.GetErrorCode(), 0);
    EXPECT_EQ(engine.GetCapiErrorCode(), 0);
    for (std::u16string_view response : {std::u16string_view(), std::u16string_view(u"anything"),
                                         std::u16string_view(u"\0x", 2)}) {
        engine.setErrorCode(5004);
        engine.setCapiError(7);
        EXPECT_EQ(engine.VerifyServerResponse(response), 0);
        EXPECT_EQ(engine.GetErrorCode(), 0);
        EXPECT_EQ(engine.GetCapiErrorCode(), 0);
    }
}

}  // namespace
}  // namespace pennaform
