// The personal-store browser through the Engine: a snapshot of "MY" read by
// 1-based position, positions outside it, deletion and what it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"
#include "support/TestCertificates.h"
#include "toolkit/testca/InstallCommand.h"
#include "unit/certificates/CertificateTestSupport.h"

namespace pennaform {
namespace {

using platform::Bytes;

std::string upperHex(const Bytes& bytes) {
    std::string text;
    for (std::uint8_t byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

class PersonalStoreTest : public ::testing::Test {
protected:
    PersonalStoreTest() : engine_(EngineConfig{home(), false}) {}

    std::string home() const { return folder_.sub("home"); }

    // install: a new certificate for `subject` put into "MY" with its key,
    // as the test CA's install command does; its DER.
    Bytes install(const std::string& subject, std::vector<std::string> options = {}) {
        const std::string name = "cert" + std::to_string(installed_++);
        options.insert(options.end(), {"--subject", subject, "--key-bits", "1024"});
        std::optional<Bytes> der = ca_.certificate(name, options);
        EXPECT_TRUE(der.has_value()) << ca_.lastError();
        EXPECT_EQ(testca::runInstallCommand({"--home", home(), "--store", "MY", "--cert",
                                             ca_.path(name + ".der"), "--key",
                                             ca_.path(name + ".key.pem")}),
                  0);
        return der.value_or(Bytes());
    }

    void installThree() {
        install("/C=TW/O=Example Bank/CN=First", {"--serial", "01"});
        install("/C=TW/O=Example Bank/CN=Second",
                {"--serial", "0100", "--not-before", "20240131155959Z"});
        install("/O=No Common Name", {"--serial", "00FF"});
    }

    // storeSize: how many certificates "MY" holds now, read afresh.
    std::size_t storeSize() {
        auto store = engine_.platform().stores()->openSystemStore(platform::SystemStore::kMy);
        return store ? (*store)->certificates()->size() : 0;
    }

    test::TemporaryFolder folder_;
    Engine engine_;
    test::TestCa ca_;
    int installed_ = 0;
};

TEST_F(PersonalStoreTest, ANewHomeHasNothingToShowOrDelete) {
    engine_.setErrorCode(1234);
    engine_.setCapiError(0x80092004);
    EXPECT_EQ(engine_.GetIECertSerial(1), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 1234);
    EXPECT_EQ(engine_.GetCapiErrorCode(), std::int32_t(0x80092004));
    EXPECT_EQ(engine_.DeleteIECert(1), codes::kCertificateNotFound);
    EXPECT_EQ(engine_.GetErrorCode(), codes::kCertificateNotFound);
    EXPECT_EQ(engine_.GetIECertCount(), 0);
    EXPECT_EQ(engine_.GetErrorCode(), codes::kSuccess);
    EXPECT_EQ(engine_.DeleteIECert(1), codes::kCertificateNotFound);
}

TEST_F(PersonalStoreTest, EachPositionGivesItsCertificatesFields) {
    test::ScopedTimeZone zone("Asia/Taipei");
    installThree();
    ASSERT_EQ(engine_.GetIECertCount(), 3);
    EXPECT_EQ(engine_.GetIECertSubject(1), u"C=TW, O=Example Bank, CN=First");
    EXPECT_EQ(engine_.GetIECertCommonName(2), u"Second");
    EXPECT_EQ(engine_.GetIECertCommonName(3), u"");
    EXPECT_EQ(engine_.GetIECertIssuer(3), u"O=No Common Name");
    EXPECT_EQ(engine_.GetIECertSerial(2), u"0100");
    EXPECT_EQ(engine_.GetIECertSerial(3), u"00FF");
    EXPECT_EQ(engine_.GetIECertNotBefore(2), u"20240131235959");
    EXPECT_EQ(engine_.GetIECertNotAfter(2).size(), 14u);
    for (std::int32_t position = 1; position <= 3; ++position) {
        const std::string finger = toAnsi(engine_.GetIECertFinger(position));
        const Bytes der =
            test::readBinaryFile(ca_.path("cert" + std::to_string(position - 1) + ".der"));
        EXPECT_EQ(finger, upperHex(test::sha1Of(der)));
        EXPECT_EQ(finger.size(), 40u);
        EXPECT_TRUE(std::all_of(finger.begin(), finger.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F');
        })) << finger;
    }
    // Positions outside the snapshot give nothing and leave the codes alone.
    engine_.setErrorCode(5005);
    for (std::int32_t position : {0, 4, -1, std::numeric_limits<std::int32_t>::min()}) {
        EXPECT_EQ(engine_.GetIECertSubject(position), u"") << position;
        EXPECT_EQ(engine_.GetIECertFinger(position), u"") << position;
        EXPECT_EQ(engine_.GetErrorCode(), 5005) << position;
    }
    // A successful getter does not clear the code either.
    EXPECT_NE(engine_.GetIECertSerial(1), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5005);
}

TEST_F(PersonalStoreTest, DeletionEmptiesTheSnapshotAndKeepsTheKeyContainer) {
    installThree();
    ASSERT_EQ(engine_.GetIECertCount(), 3);
    const std::u16string first = engine_.GetIECertSubject(1);
    const std::u16string third = engine_.GetIECertSubject(3);
    auto my = engine_.platform().stores()->openSystemStore(platform::SystemStore::kMy);
    ASSERT_TRUE(my);
    const platform::KeyProvInfo binding =
        *(*my)->properties((*my)->certificates()->at(1).id)->keyProvInfo;

    EXPECT_EQ(engine_.DeleteIECert(2), codes::kSuccess);
    EXPECT_EQ(engine_.GetErrorCode(), codes::kSuccess);
    EXPECT_EQ(engine_.GetIECertSubject(1), u"");
    EXPECT_EQ(engine_.DeleteIECert(1), codes::kCertificateNotFound);
    EXPECT_EQ(storeSize(), 2u);

    ASSERT_EQ(engine_.GetIECertCount(), 2);
    EXPECT_EQ(engine_.GetIECertSubject(1), first);
    EXPECT_EQ(engine_.GetIECertSubject(2), third);
    EXPECT_TRUE(engine_.platform()
                    .keys()
                    ->openContainer({toAnsi(binding.containerName), toAnsi(binding.providerName),
                                     binding.providerType})
                    .ok());
}

TEST_F(PersonalStoreTest, TheSnapshotStandsUntilTheNextCount) {
    install("/C=TW/CN=Before");
    ASSERT_EQ(engine_.GetIECertCount(), 1);
    install("/C=TW/CN=After");
    EXPECT_EQ(engine_.GetIECertCommonName(2), u"");
    EXPECT_EQ(engine_.DeleteIECert(2), codes::kCertificateNotFound);

    // Deleted behind the snapshot's back: still shown, no longer deletable.
    Engine other(EngineConfig{home(), false});
    ASSERT_EQ(other.GetIECertCount(), 2);
    ASSERT_EQ(other.DeleteIECert(1), codes::kSuccess);
    EXPECT_EQ(engine_.GetIECertCommonName(1), u"Before");
    EXPECT_EQ(engine_.DeleteIECert(1), codes::kCertificateNotFound);

    ASSERT_EQ(engine_.GetIECertCount(), 1);
    EXPECT_EQ(engine_.GetIECertCommonName(1), u"After");
}

TEST_F(PersonalStoreTest, AnUntrustedCallerSeesNothing) {
    installThree();
    Engine untrusted(EngineConfig{home(), true});
    EXPECT_EQ(untrusted.GetIECertCount(), 0);
    EXPECT_EQ(untrusted.GetErrorCode(), codes::kProtectedMode);
    EXPECT_EQ(untrusted.GetIECertSubject(1), u"");
    EXPECT_EQ(untrusted.DeleteIECert(1), codes::kProtectedMode);
    EXPECT_EQ(storeSize(), 3u);
}

}  // namespace
}  // namespace pennaform
