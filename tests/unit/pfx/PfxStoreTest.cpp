// PfxStore: loading PFX files with the component's codes, the two empty
// password conventions, files made by other tools, and the key containers
// an import leaves or removes on closing.
#include "pfx/PfxStore.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "platform/PlatformFactory.h"
#include "support/Process.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"

namespace pennaform {
namespace {

using pennaform::test::runProcess;
using pennaform::test::TemporaryFolder;
using platform::Bytes;

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes fixture(const std::string& name) {
    return readBytes(std::string(PENNAFORM_TEST_DATA) + "/pkcs12/" + name);
}

class PfxStoreTest : public ::testing::Test {
protected:
    PfxStoreTest() : engine_(EngineConfig{folder_.sub("home"), false}) {}

    platform::Platform& platform() { return engine_.platform(); }

    // bindings: the key bindings of the certificates `holder` holds.
    std::vector<platform::KeyProvInfo> bindings(const PfxStore& holder) {
        std::vector<platform::KeyProvInfo> all;
        auto certificates = *holder.store()->certificates();
        for (const auto& certificate : certificates) {
            KeyProvInfoReading reading = keyProvInfo(*holder.store(), certificate.id);
            if (reading.info) all.push_back(*reading.info);
        }
        return all;
    }

    bool containerExists(const platform::KeyProvInfo& binding) {
        return platform()
            .keys()
            ->openContainer(
                {toAnsi(binding.containerName), toAnsi(binding.providerName), binding.providerType})
            .ok();
    }

    // madeBy: a PFX file of a new key and certificate written by a tool
    // (argv, where KEY, CERT and OUT stand for the files), with password
    // "secret".
    Bytes madeBy(std::vector<std::string> argv) {
        auto identity = pennaform::test::makeTestIdentity("Made elsewhere", 1024);
        std::string der = folder_.sub("cert.der"), pem = folder_.sub("cert.pem");
        std::ofstream(folder_.sub("key.pem")) << identity.privateKeyPem;
        std::ofstream(der, std::ios::binary)
            .write(reinterpret_cast<const char*>(identity.certificateDer.data()),
                   std::streamsize(identity.certificateDer.size()));
        EXPECT_EQ(
            runProcess({"openssl", "x509", "-inform", "DER", "-in", der, "-out", pem}).exitStatus,
            0);
        for (std::string& word : argv) {
            if (word == "KEY") word = folder_.sub("key.pem");
            if (word == "CERT") word = pem;
            if (word == "OUT") word = folder_.sub("made.p12");
        }
        auto made = runProcess(argv);
        EXPECT_EQ(made.exitStatus, 0) << made.err;
        return readBytes(folder_.sub("made.p12"));
    }

    TemporaryFolder folder_;
    Engine engine_;
};

TEST_F(PfxStoreTest, CodesForWhatIsNotAPfxFileOrNotItsPassword) {
    PfxStore holder(platform());
    Bytes text{'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't', '\n'};
    EXPECT_EQ(loadPfxBytes(holder, text, "foo", 0), 5207);
    EXPECT_EQ(holder.store(), nullptr);
    EXPECT_EQ(loadPfxBytes(holder, fixture("windows.p12"), "bar", 0), 5208);
    EXPECT_EQ(holder.platformError(), platform::errors::kErrorInvalidPassword);
    EXPECT_EQ(holder.store(), nullptr);
    EXPECT_EQ(loadPfxBytes(holder, fixture("windows.p12"), "", 0), 5208);
    EXPECT_EQ(loadPfxBytes(holder, fixture("windows.p12"), "foo", 0), 0);
    EXPECT_NE(holder.store(), nullptr);
    EXPECT_EQ(holder.platformError(), 0u);
    EXPECT_EQ(loadPfxBytes(holder, text, "foo", 0), 5207);
    EXPECT_EQ(holder.store(), nullptr);  // a new load closes the old store first
}

TEST_F(PfxStoreTest, LoadingFilesGivesTheReadAndFormatCodes) {
    PfxStore holder(platform());
    std::string empty = folder_.sub("empty.pfx"), text = folder_.sub("text.pfx");
    std::ofstream(empty).close();
    std::ofstream(text) << "-----BEGIN CERTIFICATE-----\nnot a PFX file\n";
    EXPECT_EQ(loadPfx(holder, empty, "foo", 0), 5401);
    EXPECT_EQ(holder.platformError(), 0u);
    EXPECT_EQ(loadPfx(holder, folder_.sub("absent.pfx"), "foo", 0), 5401);
    EXPECT_EQ(holder.platformError(), platform::errors::kErrorFileNotFound);
    EXPECT_EQ(loadPfx(holder, folder_.path(), "foo", 0), 5401);  // a folder
    EXPECT_EQ(loadPfx(holder, text, "foo", 0), 5207);
    EXPECT_EQ(loadPfx(holder, "", "foo", 0), 5005);
    EXPECT_EQ(holder.platformError(), 0u);

    std::string windows = std::string(PENNAFORM_TEST_DATA) + "/pkcs12/windows.p12";
    EXPECT_EQ(loadPfx(holder, windows, "bar", 0), 5208);
    EXPECT_EQ(holder.store(), nullptr);
    ASSERT_EQ(loadPfx(holder, windows, "foo", 0), 0);
    EXPECT_EQ(holder.store()->certificates()->size(), 1u);
}

TEST_F(PfxStoreTest, AnEmptyPasswordOpensFilesOfEitherConvention) {
    PfxStore holder(platform());
    for (const char* name : {"empty_password.p12", "null_password.p12"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(loadPfxBytes(holder, fixture(name), "", 0), 0);
        EXPECT_EQ(holder.store()->certificates()->size(), 1u);
        EXPECT_EQ(loadPfxBytes(holder, fixture(name), "x", 0), 5208);
    }
    // The Unicode password arrives as process code-page text (UTF-8 here).
    EXPECT_EQ(loadPfxBytes(holder, fixture("unicode_password.p12"), "Hello, 世界", 0), 0);
}

TEST_F(PfxStoreTest, LoadsFilesOtherToolsWrite) {
    struct Case {
        const char* tool;
        std::vector<std::string> argv;
    };
    const std::vector<Case> cases{
        {"openssl pkcs12 -export",
         {"openssl", "pkcs12", "-export", "-inkey", "KEY", "-in", "CERT", "-out", "OUT", "-passout",
          "pass:secret"}},
        {"openssl pkcs12 -export -legacy",
         {"openssl", "pkcs12", "-export", "-legacy", "-inkey", "KEY", "-in", "CERT", "-out", "OUT",
          "-passout", "pass:secret"}},
        {"certtool --to-p12",
         {"certtool", "--to-p12", "--load-privkey", "KEY", "--load-certificate", "CERT", "--outder",
          "--outfile", "OUT", "--password", "secret", "--p12-name", "From GnuTLS"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool);
        Bytes pfx = madeBy(c.argv);
        PfxStore holder(platform());
        ASSERT_EQ(loadPfxBytes(holder, pfx, "secret", pfxLoadFlags::kExportableKeys), 0);
        std::vector<platform::KeyProvInfo> bound = bindings(holder);
        ASSERT_EQ(bound.size(), 1u);
        EXPECT_TRUE(containerExists(bound[0]));
        EXPECT_EQ(loadPfxBytes(holder, pfx, "Secret", 0), 5208);
    }
}

TEST_F(PfxStoreTest, ClosingRemovesTheImportedContainersUnlessTheyWereKept) {
    std::vector<platform::KeyProvInfo> removed, kept;
    {
        PfxStore holder(platform());
        ASSERT_EQ(loadPfxBytes(holder, fixture("windows.p12"), "foo", 0), 0);
        removed = bindings(holder);
        ASSERT_EQ(removed.size(), 1u);
        EXPECT_TRUE(containerExists(removed[0]));
        closePfx(holder);
        EXPECT_EQ(holder.store(), nullptr);
        EXPECT_FALSE(containerExists(removed[0]));

        ASSERT_EQ(loadPfxBytes(holder, fixture("nss.p12"), "foo", 0), 0);
        removed = bindings(holder);
    }  // destroying the holder closes it too
    EXPECT_FALSE(containerExists(removed[0]));

    PfxStore holder(platform());
    ASSERT_EQ(loadPfxBytes(holder, fixture("windows.p12"), "foo", 0), 0);
    kept = bindings(holder);
    holder.keepKeysOnClose();
    closePfx(holder);
    EXPECT_TRUE(containerExists(kept[0]));
    // A later load deletes its own containers again.
    ASSERT_EQ(loadPfxBytes(holder, fixture("windows.p12"), "foo", 0), 0);
    EXPECT_TRUE(holder.deletesKeysOnClose());
}

TEST_F(PfxStoreTest, TemporaryLoadsKeepTheirKeysInThisProcessUnlessAskedToPersist) {
    // Another process over the same home.
    auto elsewhere = [&](const platform::KeyProvInfo& binding) {
        auto other = platform::makePlatform(platform::StateHome(folder_.sub("home")));
        return other->keys()
            ->openContainer(
                {toAnsi(binding.containerName), toAnsi(binding.providerName), binding.providerType})
            .ok();
    };
    for (PfxKeyStorage storage : {PfxKeyStorage::kMemoryOnly, PfxKeyStorage::kPersisted}) {
        const bool persisted = storage == PfxKeyStorage::kPersisted;
        SCOPED_TRACE(persisted ? "persisted" : "memory only");
        PfxStore holder(platform());
        ASSERT_EQ(loadPfx(holder, std::string(PENNAFORM_TEST_DATA) + "/pkcs12/windows.p12", "foo",
                          pfxLoadFlags::kExportableKeys, storage),
                  0);
        std::vector<platform::KeyProvInfo> bound = bindings(holder);
        ASSERT_EQ(bound.size(), 1u);
        EXPECT_TRUE(containerExists(bound[0]));
        EXPECT_EQ(elsewhere(bound[0]), persisted);
        closePfx(holder);
        EXPECT_FALSE(containerExists(bound[0]));
        EXPECT_FALSE(elsewhere(bound[0]));
    }
}

TEST(PfxFilePath, JoinsWithOneSlash) {
    EXPECT_EQ(pfxFilePath("/home/wang/certs", "a.pfx"), "/home/wang/certs/a.pfx");
    EXPECT_EQ(pfxFilePath("/home/wang/certs/", "a.pfx"), "/home/wang/certs/a.pfx");
    EXPECT_EQ(pfxFilePath("/", "a.pfx"), "/a.pfx");
    EXPECT_EQ(pfxFilePath("", "a.pfx"), "a.pfx");
}

}  // namespace
}  // namespace pennaform
