// The test CA's install command, run in this process; what it installed is
// then read through a new Platform over the same home, as the next process
// would read it.
#include "toolkit/testca/InstallCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/CodePage.h"
#include "platform/PlatformFactory.h"
#include "support/Process.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"

namespace pennaform::testca {
namespace {

using namespace pennaform::platform;
using pennaform::test::TemporaryFolder;

class InstallCommand : public ::testing::Test {
protected:
    InstallCommand() : home_(folder_.sub("home")) {}

    // write: a new identity's certificate (DER) and key (PEM as given by
    // `keyForm`: "pkcs8" or "traditional") under `name`.
    pennaform::test::TestIdentity write(const std::string& name, const std::string& keyForm) {
        auto identity = pennaform::test::makeTestIdentity(name, 1024);
        std::ofstream(folder_.sub(name + ".der"), std::ios::binary)
            .write(reinterpret_cast<const char*>(identity.certificateDer.data()),
                   std::streamsize(identity.certificateDer.size()));
        std::ofstream(folder_.sub(name + ".pkcs8.pem")) << identity.privateKeyPem;
        if (keyForm == "traditional") {
            auto converted = pennaform::test::runProcess({"openssl", "rsa", "-traditional", "-in",
                                                          folder_.sub(name + ".pkcs8.pem"), "-out",
                                                          folder_.sub(name + ".pem")});
            EXPECT_EQ(converted.exitStatus, 0) << converted.err;
        } else {
            std::ofstream(folder_.sub(name + ".pem")) << identity.privateKeyPem;
        }
        return identity;
    }

    int install(const std::string& store, const std::string& name, bool withKey) {
        std::vector<std::string> args{"--home", home_,    "--store",
                                      store,    "--cert", folder_.sub(name + ".der")};
        if (withKey) args.insert(args.end(), {"--key", folder_.sub(name + ".pem")});
        return runInstallCommand(args);
    }

    TemporaryFolder folder_;
    std::string home_;
};

TEST_F(InstallCommand, TheNextProcessFindsTheCertificateAndItsKey) {
    auto pkcs8 = write("Pkcs8", "pkcs8");
    auto traditional = write("Traditional", "traditional");
    auto root = write("Root", "pkcs8");
    ASSERT_EQ(install("MY", "Pkcs8", true), 0);
    ASSERT_EQ(install("MY", "Traditional", true), 0);
    ASSERT_EQ(install("ROOT", "Root", false), 0);

    auto next = makePlatform(StateHome(home_));
    auto my = *next->stores()->openSystemStore(SystemStore::kMy);
    auto certificates = *my->certificates();
    ASSERT_EQ(certificates.size(), 2u);
    EXPECT_EQ(certificates[0].encoded, pkcs8.certificateDer);
    EXPECT_EQ(certificates[1].encoded, traditional.certificateDer);
    for (const auto& certificate : certificates) {
        Outcome<KeyContext> key = my->acquirePrivateKey(certificate.id);
        ASSERT_TRUE(key) << std::hex << key.error();
        Bytes digest = pennaform::test::digestOf("SHA256", "installed");
        Bytes signature = *key->container->signHash(key->keySpec, algorithms::kSha256, digest);
        std::reverse(signature.begin(), signature.end());
        EXPECT_TRUE(pennaform::test::verifiesPkcs1(*key->container->publicKeyInfo(key->keySpec),
                                                   "SHA256", digest, signature));
    }
    auto roots = *(*next->stores()->openSystemStore(SystemStore::kRoot))->certificates();
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(roots[0].encoded, root.certificateDer);
    EXPECT_FALSE((*next->stores()->openSystemStore(SystemStore::kRoot))
                     ->properties(roots[0].id)
                     ->keyProvInfo.has_value());
}

TEST_F(InstallCommand, RefusesWrongUseAndWrongFiles) {
    write("Mine", "pkcs8");
    write("Other", "pkcs8");
    EXPECT_EQ(runInstallCommand({}), 2);
    EXPECT_EQ(
        runInstallCommand({"--home", home_, "--store", "TRUST", "--cert", folder_.sub("Mine.der")}),
        2);
    EXPECT_EQ(runInstallCommand({"--home", home_, "--store", "MY", "--cert"}), 2);
    EXPECT_EQ(runInstallCommand({"--home", home_, "--store", "MY", "--cert",
                                 folder_.sub("Mine.der"), "--verbose", "1"}),
              2);
    // A key that is not the certificate's, a PEM file given as the
    // certificate, and a missing file: nothing is installed.
    EXPECT_EQ(runInstallCommand({"--home", home_, "--store", "MY", "--cert",
                                 folder_.sub("Mine.der"), "--key", folder_.sub("Other.pem")}),
              1);
    EXPECT_EQ(
        runInstallCommand({"--home", home_, "--store", "MY", "--cert", folder_.sub("Mine.pem")}),
        1);
    EXPECT_EQ(
        runInstallCommand({"--home", home_, "--store", "MY", "--cert", folder_.sub("Absent.der")}),
        1);
    auto my = *makePlatform(StateHome(home_))->stores()->openSystemStore(SystemStore::kMy);
    EXPECT_TRUE(my->certificates()->empty());
}

}  // namespace
}  // namespace pennaform::testca
