// pennaform-testca install as a process of its own: what it installed is
// found by the next process (this test's) in the same home.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/PlatformFactory.h"
#include "support/Process.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"
#include "support/TestCertificates.h"

namespace pennaform::test {
namespace {

using namespace pennaform::platform;

TEST(TestcaInstallProcess, TheNextProcessFindsTheInstalledCertificateAndKey) {
    const std::string tool = testCaPath();
    TemporaryFolder folder;
    TestIdentity identity = makeTestIdentity("Installed", 1024);
    std::ofstream(folder.sub("cert.der"), std::ios::binary)
        .write(reinterpret_cast<const char*>(identity.certificateDer.data()),
               std::streamsize(identity.certificateDer.size()));
    std::ofstream(folder.sub("key.pem")) << identity.privateKeyPem;

    ProcessResult installed =
        runProcess({tool, "install", "--home", folder.sub("home"), "--store", "MY", "--cert",
                    folder.sub("cert.der"), "--key", folder.sub("key.pem")});
    ASSERT_EQ(installed.exitStatus, 0) << installed.err;

    auto platform = makePlatform(StateHome(folder.sub("home")));
    auto my = *platform->stores()->openSystemStore(SystemStore::kMy);
    auto certificates = *my->certificates();
    ASSERT_EQ(certificates.size(), 1u);
    EXPECT_EQ(certificates[0].encoded, identity.certificateDer);
    EXPECT_TRUE(my->acquirePrivateKey(certificates[0].id));
}

}  // namespace
}  // namespace pennaform::test
