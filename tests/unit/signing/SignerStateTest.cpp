// SignerState: clearing the current signer releases everything a selection
// and a signature keep, and keeps the signer port open.
#include "signing/SignerState.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/CodePage.h"
#include "platform/PlatformFactory.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

using pennaform::test::TemporaryFolder;

// OpenBlock: a signer port's block as the state holds it.
class OpenBlock : public platform::SharedBlock {
public:
    bool created() const override { return true; }
    std::uint32_t size() const override { return 0; }
    platform::Status access(
        const std::function<platform::Status(std::span<std::uint8_t>)>&) override {
        return platform::Status::success();
    }
};

TEST(SignerState, ClearingReleasesTheSignerTheKeptPfxAndTheCacheButNotThePort) {
    TemporaryFolder folder;
    platform::StateHome home(folder.sub("home"));
    std::unique_ptr<platform::Platform> platform = platform::makePlatform(home);
    SignerState state;

    state.keptPfx = std::make_unique<PfxStore>(*platform);
    ASSERT_EQ(loadPfx(*state.keptPfx, std::string(PENNAFORM_TEST_DATA) + "/pkcs12/openssl.p12",
                      "foo", pfxLoadFlags::kExportableKeys),
              0);
    auto imported = *state.keptPfx->store()->certificates();
    ASSERT_EQ(imported.size(), 1u);
    platform::KeyProvInfo binding = *keyProvInfo(*state.keptPfx->store(), imported[0].id).info;
    state.keepPfx = true;
    state.signerMedia = signerMedia::kPfxFile;
    state.signerCertHash = "0123456789ABCDEF0123456789ABCDEF01234567";
    state.signerCertBytes = imported[0].encoded;
    state.signerCertPasswd.assign("foo");
    state.signerCertFilePath = "/certificates";
    state.signerCertFileName = "openssl.p12";
    state.signingCache.personalStore =
        std::move(*platform->stores()->openSystemStore(platform::SystemStore::kMy));
    state.signingCache.personalStoreError = 5;
    state.signingCache.signerKey = *state.keptPfx->store()->acquirePrivateKey(imported[0].id);
    state.port = std::make_unique<OpenBlock>();

    state.clearCurrentSigner();

    EXPECT_EQ(state.signerMedia, signerMedia::kNone);
    for (const std::string* text :
         {&state.signerCertHash, &state.signerCertFilePath, &state.signerCertFileName}) {
        EXPECT_TRUE(text->empty()) << *text;
    }
    EXPECT_TRUE(state.signerCertPasswd.view().empty());
    EXPECT_TRUE(state.signerCertBytes.empty());
    EXPECT_EQ(state.keptPfx, nullptr);
    EXPECT_FALSE(state.keepPfx);
    EXPECT_EQ(state.signingCache.personalStore, nullptr);
    EXPECT_EQ(state.signingCache.personalStoreError, 0u);
    EXPECT_FALSE(state.signingCache.signerKey.has_value());
    EXPECT_NE(state.port, nullptr);
    // The kept file's imported key went with it, as closePfx removes it.
    EXPECT_EQ(platform->keys()
                  ->openContainer({toAnsi(binding.containerName), toAnsi(binding.providerName),
                                   binding.providerType})
                  .error(),
              platform::errors::kNteBadKeyset);
}

}  // namespace
}  // namespace pennaform
