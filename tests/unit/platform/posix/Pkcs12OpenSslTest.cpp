// The PFX service of the POSIX backend on files other tools wrote: the
// fixtures of tests/data/pkcs12 and files the openssl command makes here.
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/PlatformFactory.h"
#include "platform/posix/OpenSslOwners.h"
#include "platform/posix/Pkcs12_openssl.h"
#include "support/Process.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"

namespace pennaform::platform::test {
namespace {

using pennaform::test::runProcess;
using pennaform::test::TemporaryFolder;

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes fixture(const std::string& name) {
    Bytes bytes = readBytes(std::string(PENNAFORM_TEST_DATA) + "/pkcs12/" + name);
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class Pkcs12OpenSsl : public ::testing::Test {
protected:
    Pkcs12OpenSsl() : home_(folder_.sub("home")), platform_(makePlatform(home_)) {}

    Pkcs12& pkcs12() { return *platform_->pkcs12(); }

    // exported: a PFX file `openssl pkcs12 -export` makes of a new RSA key
    // and certificate, with the extra options given.
    Bytes exported(const std::vector<std::string>& options) {
        auto identity = pennaform::test::makeTestIdentity("Exported", 1024);
        std::string key = folder_.sub("key.pem"), certificate = folder_.sub("cert.der");
        std::string out = folder_.sub("made.p12");
        writeText(key, identity.privateKeyPem);
        writeText(certificate,
                  std::string(identity.certificateDer.begin(), identity.certificateDer.end()));
        std::vector<std::string> argv{"openssl", "x509",      "-inform", "DER",
                                      "-in",     certificate, "-out",    folder_.sub("cert.pem")};
        EXPECT_EQ(runProcess(argv).exitStatus, 0);
        argv = {"openssl", "pkcs12", "-export", "-inkey",  key, "-in", folder_.sub("cert.pem"),
                "-out",    out,      "-name",   "Friendly"};
        argv.insert(argv.end(), options.begin(), options.end());
        auto made = runProcess(argv);
        EXPECT_EQ(made.exitStatus, 0) << made.err;
        return readBytes(out);
    }

    TemporaryFolder folder_;
    StateHome home_;
    std::unique_ptr<Platform> platform_;
};

TEST_F(Pkcs12OpenSsl, RecognisesOnlyWholePfxFiles) {
    for (const char* name : {"windows.p12", "nss.p12", "openssl.p12", "pbes2_sha256.p12",
                             "empty_password.p12", "null_password.p12", "unicode_password.p12"}) {
        EXPECT_TRUE(pkcs12().isPfx(fixture(name))) << name;
    }
    Bytes windows = fixture("windows.p12");
    Bytes longer = windows;
    longer.push_back(0);
    Bytes text{'h', 'e', 'l', 'l', 'o'};
    Bytes certificate = pennaform::test::makeTestIdentity("Not a PFX", 1024).certificateDer;
    for (const Bytes& bad :
         {Bytes{}, text, certificate, longer, Bytes(windows.begin(), windows.end() - 1)}) {
        EXPECT_FALSE(pkcs12().isPfx(bad));
    }
}

TEST_F(Pkcs12OpenSsl, TheEmptyAndTheNullPasswordAreDifferentPasswords) {
    Bytes empty = fixture("empty_password.p12"), null = fixture("null_password.p12");
    EXPECT_TRUE(pkcs12().verifyPassword(empty, PfxPassword(u"")));
    EXPECT_FALSE(pkcs12().verifyPassword(empty, std::nullopt));
    EXPECT_TRUE(pkcs12().verifyPassword(null, std::nullopt));
    EXPECT_FALSE(pkcs12().verifyPassword(null, PfxPassword(u"")));
    EXPECT_TRUE(pkcs12().verifyPassword(fixture("windows.p12"), PfxPassword(u"foo")));
    EXPECT_FALSE(pkcs12().verifyPassword(fixture("windows.p12"), PfxPassword(u"Foo")));
    EXPECT_TRUE(
        pkcs12().verifyPassword(fixture("unicode_password.p12"), PfxPassword(u"Hello, 世界")));
    EXPECT_FALSE(pkcs12().verifyPassword(fixture("unicode_password.p12"), PfxPassword(u"Hello, ")));
}

TEST_F(Pkcs12OpenSsl, ImportsEveryFixtureWithItsKeyBound) {
    struct Case {
        const char* name;
        PfxPassword password;
    };
    for (const Case& c :
         {Case{"windows.p12", u"foo"}, Case{"nss.p12", u"foo"}, Case{"openssl.p12", u"foo"},
          Case{"pbes2_sha256.p12", u"foo"}, Case{"empty_password.p12", u""},
          Case{"null_password.p12", std::nullopt}, Case{"unicode_password.p12", u"Hello, 世界"}}) {
        SCOPED_TRACE(c.name);
        auto store = pkcs12().importPfx(fixture(c.name), c.password, 0);
        ASSERT_TRUE(store) << std::hex << store.error();
        auto certificates = *(*store)->certificates();
        ASSERT_EQ(certificates.size(), 1u);
        auto properties = *(*store)->properties(certificates[0].id);
        ASSERT_TRUE(properties.keyProvInfo);
        const KeyProvInfo& binding = *properties.keyProvInfo;
        EXPECT_EQ(binding.containerName.size(), 38u);  // {8-4-4-4-12}
        EXPECT_EQ(binding.containerName.front(), u'{');
        EXPECT_EQ(binding.providerName, u"Microsoft Enhanced Cryptographic Provider v1.0");
        EXPECT_EQ(binding.keySpec, KeySpec::kKeyExchange);
        EXPECT_TRUE((*store)->acquirePrivateKey(certificates[0].id));
    }
    EXPECT_EQ(pkcs12().importPfx(fixture("windows.p12"), PfxPassword(u"bar"), 0).error(),
              errors::kErrorInvalidPassword);
}

TEST_F(Pkcs12OpenSsl, ImportedRsaKeysSignAndKeepTheImportFlags) {
    auto locked = *pkcs12().importPfx(fixture("windows.p12"), PfxPassword(u"foo"), 0);
    auto open = *pkcs12().importPfx(fixture("windows.p12"), PfxPassword(u"foo"),
                                    pfxImportFlags::kExportable);
    CertId lockedId = (*locked->certificates())[0].id, openId = (*open->certificates())[0].id;
    KeyContext lockedKey = *locked->acquirePrivateKey(lockedId);
    KeyContext openKey = *open->acquirePrivateKey(openId);
    // Two imports, two containers.
    EXPECT_NE(locked->properties(lockedId)->keyProvInfo, open->properties(openId)->keyProvInfo);
    EXPECT_EQ(
        (*lockedKey.container->userKey(KeySpec::kKeyExchange))->exportPrivateKeyBlob().error(),
        errors::kNteBadKeyState);
    EXPECT_EQ((*openKey.container->userKey(KeySpec::kKeyExchange))->exportPrivateKeyBlob()->size(),
              1172u);

    Bytes digest = pennaform::test::digestOf("SHA1", "imported");
    Bytes signature =
        *lockedKey.container->signHash(KeySpec::kKeyExchange, algorithms::kSha1, digest);
    std::reverse(signature.begin(), signature.end());
    EXPECT_TRUE(pennaform::test::verifiesPkcs1(
        *lockedKey.container->publicKeyInfo(KeySpec::kKeyExchange), "SHA1", digest, signature));

    auto asking = *pkcs12().importPfx(fixture("nss.p12"), PfxPassword(u"foo"),
                                      pfxImportFlags::kUserProtected);
    KeyContext protectedKey = *asking->acquirePrivateKey((*asking->certificates())[0].id);
    platform_->installDialogs(nullptr);
    EXPECT_EQ(
        protectedKey.container->signHash(KeySpec::kKeyExchange, algorithms::kSha1, digest).error(),
        errors::kNteSilentContext);
}

TEST_F(Pkcs12OpenSsl, ReadsWhatTheOpensslCommandWrites) {
    struct Case {
        const char* what;
        std::vector<std::string> options;
    };
    for (const Case& c :
         {Case{"AES-256, PBKDF2, SHA-256 MAC", {"-passout", "pass:secret"}},
          Case{"3DES and RC2-40, SHA-1 MAC", {"-legacy", "-passout", "pass:secret"}}}) {
        SCOPED_TRACE(c.what);
        Bytes pfx = exported(c.options);
        ASSERT_TRUE(pkcs12().isPfx(pfx));
        ASSERT_TRUE(pkcs12().verifyPassword(pfx, PfxPassword(u"secret")));
        auto store = pkcs12().importPfx(pfx, PfxPassword(u"secret"), 0);
        ASSERT_TRUE(store) << std::hex << store.error();
        auto properties = *(*store)->properties((*(*store)->certificates())[0].id);
        EXPECT_TRUE(properties.keyProvInfo.has_value());
        EXPECT_EQ(properties.friendlyName, u"Friendly");
    }
}

TEST_F(Pkcs12OpenSsl, RefusesFilesThatAskForTooMuchKeyDerivation) {
    std::string count = std::to_string(kMaxPfxIterations + 1);
    Bytes costly = exported({"-iter", count, "-passout", "pass:secret"});
    EXPECT_FALSE(pkcs12().isPfx(costly));
    EXPECT_EQ(pkcs12().importPfx(costly, PfxPassword(u"secret"), 0).error(),
              errors::kCryptEBadEncode);
}

// costlyInAll: a PFX whose every derivation is within the per-derivation
// cap but whose sum is not: a MAC and four shrouded copies of one key in an
// unencrypted layer, each of kMaxPfxIterations, password "secret".
Bytes costlyInAll() {
    auto identity = pennaform::test::makeTestIdentity("Costly", 1024);
    openssl::Bio pem(
        BIO_new_mem_buf(identity.privateKeyPem.data(), int(identity.privateKeyPem.size())));
    openssl::Pkey key(PEM_read_bio_PrivateKey(pem.get(), nullptr, nullptr, nullptr));
    const int iterations = int(kMaxPfxIterations);
    STACK_OF(PKCS12_SAFEBAG)* bags = nullptr;
    PKCS12_SAFEBAG* shrouded = PKCS12_add_key(&bags, key.get(), 0, iterations,
                                              NID_pbe_WithSHA1And3_Key_TripleDES_CBC, "secret");
    EXPECT_NE(shrouded, nullptr);
    // Copies, so that the file costs one derivation to make, not four.
    for (int copy = 1; copy < 4; ++copy) {
        sk_PKCS12_SAFEBAG_push(bags, static_cast<PKCS12_SAFEBAG*>(
                                         ASN1_item_dup(ASN1_ITEM_rptr(PKCS12_SAFEBAG), shrouded)));
    }
    STACK_OF(PKCS7)* safes = nullptr;
    EXPECT_NE(PKCS12_add_safe(&safes, bags, -1, 0, nullptr), 0);
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
    openssl::Pkcs12 pfx(PKCS12_add_safes(safes, 0));
    sk_PKCS7_pop_free(safes, PKCS7_free);
    EXPECT_EQ(PKCS12_set_mac(pfx.get(), "secret", -1, nullptr, 0, iterations, nullptr), 1);
    unsigned char* der = nullptr;
    const int length = i2d_PKCS12(pfx.get(), &der);
    Bytes bytes(der, der + std::max(length, 0));
    OPENSSL_free(der);
    return bytes;
}

// The caps hold for the file as a whole, the MAC included, and a file over
// them is refused from what it shows before any derivation: isPfx, which
// derives nothing, already refuses it.
TEST_F(Pkcs12OpenSsl, TheIterationBudgetCoversTheMacAndEveryKeyOfTheFile) {
    const Bytes costly = costlyInAll();
    ASSERT_FALSE(costly.empty());
    EXPECT_FALSE(pkcs12().isPfx(costly));
    EXPECT_FALSE(pkcs12().verifyPassword(costly, PfxPassword(u"secret")));
    EXPECT_EQ(pkcs12().importPfx(costly, PfxPassword(u"secret"), 0).error(),
              errors::kCryptEBadEncode);
    EXPECT_EQ(pkcs12().changePassword(costly, PfxPassword(u"secret"), PfxPassword(u"new")).error(),
              errors::kCryptEBadEncode);
}

}  // namespace
}  // namespace pennaform::platform::test
