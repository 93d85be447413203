// Chains built by the POSIX backend: which stores it reads, the trust bits
// it reports (all of them at once) and the elements it returns.
#include <gtest/gtest.h>

#include "platform/PlatformFactory.h"
#include "support/TemporaryFolder.h"
#include "support/TestChain.h"

namespace pennaform::platform::test {
namespace {

using pennaform::test::TestChain;

class ChainBuilderOpenSsl : public ::testing::Test {
protected:
    ChainBuilderOpenSsl() : home_(folder_.sub("home")), platform_(makePlatform(home_)) {}

    void put(SystemStore which, const Bytes& der) {
        auto store = platform_->stores()->openSystemStore(which);
        ASSERT_TRUE(store);
        ASSERT_TRUE((*store)->add(der, {}, AddDisposition::kAlways));
    }
    Outcome<CertificateChain> chainOf(const Bytes& der, const CertificateStore* extra = nullptr,
                                      std::optional<FileTime> at = std::nullopt) {
        return platform_->chains()->buildChain(der, extra, at);
    }

    pennaform::test::TemporaryFolder folder_;
    StateHome home_;
    std::unique_ptr<Platform> platform_;
    pennaform::test::TestCa ca_;
};

TEST_F(ChainBuilderOpenSsl, ReportsTheTrustBitsOfEachShapeOfChain) {
    const TestChain good = makeTestChain(ca_, "Good Leaf");
    const TestChain expired = makeTestChain(
        ca_, "Expired Leaf", {"--not-before", "20200101000000Z", "--not-after", "20210101000000Z"});
    // A leaf issued by an end entity: its issuer is no CA.
    auto byLeaf = ca_.certificate(
        "under-leaf", {"--subject", "/CN=Under A Leaf", "--key-bits", "1024", "--issuer-cert",
                       ca_.path("Good Leaf.der"), "--issuer-key", ca_.path("Good Leaf.key.pem")});
    ASSERT_FALSE(good.leaf.empty() || expired.leaf.empty() || !byLeaf) << ca_.lastError();

    // Nothing installed: the issuer is nowhere.
    auto alone = chainOf(good.leaf);
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->errorStatus, chainErrors::kPartialChain);
    EXPECT_EQ(alone->elements, std::vector<Bytes>{good.leaf});
    auto expiredAlone = chainOf(expired.leaf);
    ASSERT_TRUE(expiredAlone);
    EXPECT_EQ(expiredAlone->errorStatus, chainErrors::kPartialChain | chainErrors::kNotTimeValid);

    // The intermediate and the root in "CA": complete, but the root is not
    // trusted.
    put(SystemStore::kCa, good.intermediate);
    put(SystemStore::kCa, good.root);
    auto untrusted = chainOf(good.leaf);
    ASSERT_TRUE(untrusted);
    EXPECT_EQ(untrusted->errorStatus, chainErrors::kUntrustedRoot);
    EXPECT_EQ(untrusted->elements, (std::vector<Bytes>{good.leaf, good.intermediate, good.root}));

    // The root in "ROOT": trusted, signer first and root last.
    put(SystemStore::kRoot, good.root);
    auto trusted = chainOf(good.leaf);
    ASSERT_TRUE(trusted);
    EXPECT_EQ(trusted->errorStatus, 0u);
    EXPECT_EQ(trusted->elements, (std::vector<Bytes>{good.leaf, good.intermediate, good.root}));
    // Judged at another time, every element is out of its validity.
    auto before = chainOf(good.leaf, nullptr, FileTime{116444736000000000ull});  // 1970
    ASSERT_TRUE(before);
    EXPECT_EQ(before->errorStatus, chainErrors::kNotTimeValid);

    put(SystemStore::kMy, good.leaf);
    auto underLeaf = chainOf(*byLeaf);
    ASSERT_TRUE(underLeaf);
    EXPECT_EQ(underLeaf->errorStatus & chainErrors::kInvalidBasicConstraints,
              chainErrors::kInvalidBasicConstraints);
    EXPECT_EQ(underLeaf->elements.size(), 4u);

    // The other chain's intermediate from the caller's extra store: its
    // root is absent, so the chain stops there.
    auto extra = platform_->stores()->openMemoryStore();
    ASSERT_TRUE(extra);
    ASSERT_TRUE((*extra)->add(expired.intermediate, {}, AddDisposition::kAlways));
    auto fromExtra = chainOf(expired.leaf, extra->get());
    ASSERT_TRUE(fromExtra);
    EXPECT_EQ(fromExtra->errorStatus, chainErrors::kPartialChain | chainErrors::kNotTimeValid);
    EXPECT_EQ(fromExtra->elements, (std::vector<Bytes>{expired.leaf, expired.intermediate}));
    // In "MY", the other root is found: the chain is complete but untrusted.
    put(SystemStore::kMy, expired.root);
    auto fromMy = chainOf(expired.leaf, extra->get());
    ASSERT_TRUE(fromMy);
    EXPECT_EQ(fromMy->errorStatus, chainErrors::kUntrustedRoot | chainErrors::kNotTimeValid);
    EXPECT_EQ(fromMy->elements.size(), 3u);
}

TEST_F(ChainBuilderOpenSsl, RefusesWhatIsNoCertificate) {
    EXPECT_EQ(chainOf({}).error(), errors::kEInvalidArg);
    EXPECT_EQ(chainOf({0x30, 0x03, 0x02, 0x01, 0x01}).error(), errors::kCryptEAsn1Corrupt);
}

}  // namespace
}  // namespace pennaform::platform::test
