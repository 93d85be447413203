// SignPkcs1 and SignPkcs7 through the Engine, with the signer set as a
// selection leaves it: every signature checked by the openssl command (and
// GnuTLS's certtool where it reads the result), the flags, the failures
// before and during signing, and the signers of PFX files other tools wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "platform/HexText.h"
#include "platform/Utf16Le.h"
#include "signing/SignedData.h"
#include "support/KeyConsent.h"
#include "support/Process.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"
#include "support/TestCertificates.h"
#include "support/TestChain.h"
#include "toolkit/testca/InstallCommand.h"

namespace pennaform {
namespace {

using platform::Bytes;
using test::runProcess;

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes decoded(const std::u16string& text, bool base64) {
    ByteBuffer buffer;
    const std::string ansi = toAnsi(text);
    if (!(base64 ? buffer.base64Decode(ansi) : buffer.hexDecode(ansi))) return {};
    return Bytes(buffer.bytes().begin(), buffer.bytes().end());
}

Bytes reversed(Bytes bytes) {
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

std::string asString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class SigningTest : public ::testing::Test {
protected:
    SigningTest() : engine_(EngineConfig{folder_.sub("home"), false}) {}

    std::string home() const { return folder_.sub("home"); }
    std::string file(const std::string& name) const { return folder_.sub(name); }

    // install: `name`'s certificate made by the test CA put into `store`,
    // with its key when `withKey`.
    void install(const std::string& name, const std::string& store, bool withKey = true) {
        std::vector<std::string> words{"--home", home(),   "--store",
                                       store,    "--cert", ca_.path(name + ".der")};
        if (withKey) words.insert(words.end(), {"--key", ca_.path(name + ".key.pem")});
        ASSERT_EQ(testca::runInstallCommand(words), 0) << name;
    }

    // selectFromMy, selectFromPfx: the signer as a selection leaves it.
    void selectFromMy(const Bytes& der) {
        SignerState& signer = engine_.signer();
        signer.clearCurrentSigner();
        signer.signerMedia = signerMedia::kPersonalStore;
        signer.signerCertBytes = der;
        signer.signerCertHash = upperHex(test::sha1Of(der));
    }
    void selectFromPfx(const std::string& folder, const std::string& name,
                       const std::string& password, const Bytes& der, bool keep = false) {
        selectFromMy(der);
        SignerState& signer = engine_.signer();
        signer.signerMedia = signerMedia::kPfxFile;
        signer.signerCertFilePath = folder;
        signer.signerCertFileName = name;
        signer.signerCertPasswd.assign(password);
        signer.keepPfx = keep;
    }
    // useSha1, useSha2: the Enroller as a version-5.0 system (no SHA-2)
    // or a version-10 one leaves it.
    void useSha1() { engine_.enroller().applyOsDefaults(osVersion(5)); }
    void useSha2() { engine_.enroller().applyOsDefaults(osVersion(10)); }
    static platform::OsVersion osVersion(std::uint32_t major) {
        platform::OsVersion version;
        version.major = major;
        return version;
    }

    // pkcs1Verifies: `openssl pkeyutl -verify` of a big-endian signature
    // over `digest` (digest name as openssl spells it) with the key of the
    // certificate `der`.
    bool pkcs1Verifies(const Bytes& der, const Bytes& signature, const std::string& digestName,
                       const Bytes& digest) {
        writeBytes(file("signer.der"), der);
        writeBytes(file("signature.bin"), signature);
        writeBytes(file("digest.bin"), digest);
        auto key = runProcess({"openssl", "x509", "-inform", "DER", "-in", file("signer.der"),
                               "-pubkey", "-noout", "-out", file("signer.pub")});
        auto verdict = runProcess({"openssl", "pkeyutl", "-verify", "-pubin", "-inkey",
                                   file("signer.pub"), "-sigfile", file("signature.bin"), "-in",
                                   file("digest.bin"), "-pkeyopt", "digest:" + digestName});
        return key.exitStatus == 0 && verdict.exitStatus == 0;
    }

    test::TemporaryFolder folder_;
    Engine engine_;
    test::TestCa ca_;
};

TEST_F(SigningTest, Pkcs1SignaturesVerifyOverTheDigestTheFlagsChoose) {
    ASSERT_TRUE(ca_.certificate("signer", {"--subject", "/C=TW/CN=Signer", "--key-bits", "2048"}))
        << ca_.lastError();
    install("signer", "MY");
    const Bytes der = test::readBinaryFile(ca_.path("signer.der"));
    selectFromMy(der);
    const std::u16string text = u"Pennaform 簽章";
    const Bytes utf16 = utf16LeBytes(text);
    const std::string ansi = toAnsi(text);
    const auto md5 = [](const std::string& bytes) { return test::digestOf("MD5", bytes); };

    const struct {
        std::int32_t flags;
        std::string digestName;
        Bytes digest;
    } cases[] = {
        {0, "sha256", test::digestOf("SHA256", asString(utf16))},
        {0x0100, "sha256", test::digestOf("SHA256", asString(utf16))},
        {0x0800, "sha256", test::digestOf("SHA256", ansi)},
        {0x1000, "md5", md5(asString(utf16))},
        {0x1000 | 0x2000, "md5", md5(asString(utf16))},
        {0x2000, "sha1", test::digestOf("SHA1", asString(md5(asString(utf16))))},
        {0x2000 | 0x0800, "sha1", test::digestOf("SHA1", asString(md5(ansi)))},
    };
    for (const auto& c : cases) {
        const std::u16string result = engine_.SignPkcs1(text, c.flags);
        ASSERT_EQ(engine_.GetErrorCode(), 0) << c.flags << " " << engine_.GetCapiErrorCode();
        const bool base64 = (c.flags & 0x0100) != 0;
        if (!base64) {
            EXPECT_EQ(result.size(), 512u) << c.flags;
            EXPECT_EQ(result.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos);
        }
        EXPECT_TRUE(pkcs1Verifies(der, decoded(result, base64), c.digestName, c.digest)) << c.flags;
    }
    // 0x4000 keeps the provider's order: the same signature reversed.
    EXPECT_EQ(decoded(engine_.SignPkcs1(text, 0x4000), false),
              reversed(decoded(engine_.SignPkcs1(text, 0), false)));
    EXPECT_NE(engine_.SignPkcs1(text, 0), engine_.SignPkcs1(text, 0x0800));
    // Without SHA-2 the digest is SHA-1 of the UTF-16LE bytes.
    useSha1();
    EXPECT_TRUE(pkcs1Verifies(der, decoded(engine_.SignPkcs1(text, 0), false), "sha1",
                              test::digestOf("SHA1", asString(utf16))));
}

TEST_F(SigningTest, SigningFailsBeforeTheKeyIsUsed) {
    ASSERT_TRUE(ca_.certificate("signer", {"--subject", "/CN=Signer"}));
    ASSERT_TRUE(ca_.certificate("keyless", {"--subject", "/CN=Keyless"}));
    install("signer", "MY");
    install("keyless", "MY", false);
    const Bytes der = test::readBinaryFile(ca_.path("signer.der"));

    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kNoSignerSelected);
    selectFromMy(der);
    EXPECT_EQ(engine_.SignPkcs1(u"", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kBadArgument);
    // A hash that is no thumbprint of anything in the store.
    std::string lower = upperHex(test::sha1Of(der));
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
    engine_.signer().signerCertHash = lower;
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kNoSignerSelected);
    engine_.signer().signerMedia = 3;
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kNoSignerSelected);
    // No key binding: 5206.
    selectFromMy(test::readBinaryFile(ca_.path("keyless.der")));
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kNoPrivateKey);
    // The confirmation cannot be shown by the headless host: 5002.
    selectFromMy(der);
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0x8000), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kAllocation);
    // The signing cache keeps the key between signatures, but never past a
    // change: a key replaced in its container signs from then on, and a
    // container deleted is noticed.
    const std::u16string before = engine_.SignPkcs1(u"text", 0);
    ASSERT_EQ(engine_.GetErrorCode(), 0);
    auto my = engine_.platform().stores()->openSystemStore(platform::SystemStore::kMy);
    ASSERT_TRUE(my);
    const auto binding = *(*my)->properties((*my)->certificates()->at(0).id)->keyProvInfo;
    const platform::ContainerRef container{toAnsi(binding.containerName),
                                           toAnsi(binding.providerName), binding.providerType};
    auto opened = engine_.platform().keys()->openContainer(container);
    ASSERT_TRUE(opened);
    ASSERT_TRUE((*opened)->generateKeyPair(binding.keySpec, 1024, 0));
    const std::u16string after = engine_.SignPkcs1(u"text", 0);
    EXPECT_EQ(engine_.GetErrorCode(), 0) << std::hex << engine_.GetCapiErrorCode();
    EXPECT_EQ(after.size(), 256u);
    EXPECT_NE(after, before);
    // A user-protected key asks at each use; with no dialog host no one can.
    ASSERT_TRUE(test::generateWithConsent(engine_.platform(), **opened, binding.keySpec, 1024,
                                          platform::keyFlags::kUserProtected,
                                          file("consent.json")));
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kSignFailed);
    EXPECT_EQ(std::uint32_t(engine_.GetCapiErrorCode()), platform::errors::kNteSilentContext);
    // That failure released the cache, so the deleted container is looked
    // for afresh.
    ASSERT_TRUE(engine_.platform().keys()->deleteContainer(container));
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kNoPrivateKey);
    EXPECT_EQ(std::uint32_t(engine_.GetCapiErrorCode()), platform::errors::kNteBadKeyset);
}

TEST_F(SigningTest, APfxSignerIsLoadedAtEachSignatureUnlessKept) {
    ASSERT_TRUE(ca_.certificate("signer", {"--subject", "/CN=Pfx Signer", "--key-bits", "1024"}));
    ASSERT_EQ(ca_.run({"pfx", "--out", file("signer.pfx"), "--cert", ca_.path("signer.der"),
                       "--key", ca_.path("signer.key.pem"), "--password", "secret"})
                  .exitStatus,
              0);
    const Bytes der = test::readBinaryFile(ca_.path("signer.der"));
    selectFromPfx(folder_.path(), "signer.pfx", "secret", der);
    const std::u16string first = engine_.SignPkcs1(u"text", 0);
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    selectFromPfx(folder_.path(), "signer.pfx", "wrong", der);
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kPkcs12WrongPassword);
    selectFromPfx(folder_.path(), "", "secret", der);
    engine_.signer().signerCertFilePath.clear();
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kNoSignerSelected);

    selectFromPfx(folder_.path(), "signer.pfx", "secret", der, true);
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), first);
    std::filesystem::copy_file(file("signer.pfx"), file("copy.pfx"));
    std::filesystem::remove(file("signer.pfx"));
    // Kept loaded, the signer signs without its file.
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), first);
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    selectFromPfx(folder_.path(), "signer.pfx", "secret", der);
    EXPECT_EQ(engine_.SignPkcs1(u"text", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kCertificateFileUnreadable);
}

TEST_F(SigningTest, KeysOfPfxFilesOtherToolsWroteSign) {
    for (const char* name : {"windows.p12", "nss.p12", "openssl.p12"}) {
        const std::string folder = std::string(PENNAFORM_TEST_DATA) + "/pkcs12";
        auto certificate =
            runProcess({"openssl", "pkcs12", "-in", folder + "/" + name, "-passin", "pass:foo",
                        "-nokeys", "-clcerts", "-legacy", "-out", file("c.pem")});
        ASSERT_EQ(certificate.exitStatus, 0) << certificate.err;
        ASSERT_EQ(runProcess({"openssl", "x509", "-in", file("c.pem"), "-outform", "DER", "-out",
                              file("c.der")})
                      .exitStatus,
                  0);
        const Bytes der = test::readBinaryFile(file("c.der"));
        for (bool sha2 : {true, false}) {
            if (!sha2) useSha1();
            selectFromPfx(folder, name, "foo", der);
            const std::u16string signature = engine_.SignPkcs1(u"signed text", 0);
            ASSERT_EQ(engine_.GetErrorCode(), 0) << name << " " << engine_.GetCapiErrorCode();
            const std::string digestName = sha2 ? "sha256" : "sha1";
            EXPECT_TRUE(pkcs1Verifies(
                der, decoded(signature, false), digestName,
                test::digestOf(sha2 ? "SHA256" : "SHA1", asString(utf16LeBytes(u"signed text")))))
                << name << " " << digestName;
        }
        useSha2();
    }
}

// offsetOf: where `part` first occurs in `whole`; whole.size() when nowhere.
std::size_t offsetOf(const Bytes& whole, const Bytes& part) {
    return std::size_t(std::search(whole.begin(), whole.end(), part.begin(), part.end()) -
                       whole.begin());
}

// SignedDataTest: a three-level chain, its root trusted, its intermediate
// in "CA" and its leaf with its key in "MY" as the signer.
class SignedDataTest : public SigningTest {
protected:
    void SetUp() override {
        chain_ = test::makeTestChain(ca_, "Signed Data Leaf");
        ASSERT_FALSE(chain_.leaf.empty()) << ca_.lastError();
        install(chain_.rootName, "ROOT", false);
        install(chain_.intermediateName, "CA", false);
        install(chain_.leafName, "MY");
        selectFromMy(chain_.leaf);
        // openssl cms takes the issuers it may use from -CAfile only.
        writePem(file("trusted.pem"), {chain_.root, chain_.intermediate});
        writePem(file("others.pem"), {chain_.leaf});
    }
    void writePem(const std::string& path, const std::vector<Bytes>& certificates) {
        std::string pem;
        for (const Bytes& der : certificates) {
            writeBytes(path + ".der", der);
            pem += runProcess({"openssl", "x509", "-inform", "DER", "-in", path + ".der"}).out;
        }
        std::ofstream(path) << pem;
    }
    // signedData: SignPkcs7's result decoded; empty on failure.
    Bytes signedData(const std::u16string& text, std::int32_t flags) {
        const std::u16string result = engine_.SignPkcs7(text, flags);
        return result.empty() ? Bytes() : decoded(result, true);
    }
    // opensslVerifies: `openssl cms -verify` of the SignedData against the
    // trusted root; for a detached one with `content`.
    bool opensslVerifies(const Bytes& der, const Bytes& content, bool detached,
                         std::string* output = nullptr) {
        writeBytes(file("p7.der"), der);
        writeBytes(file("content.bin"), content);
        std::vector<std::string> argv{"openssl",   "cms",
                                      "-verify",   "-binary",
                                      "-inform",   "DER",
                                      "-in",       file("p7.der"),
                                      "-CAfile",   file("trusted.pem"),
                                      "-certfile", file("others.pem"),
                                      "-out",      file("out.bin")};
        if (detached) argv.insert(argv.end(), {"-content", file("content.bin")});
        auto verdict = runProcess(argv);
        if (output != nullptr) *output = verdict.err;
        return verdict.exitStatus == 0 && test::readBinaryFile(file("out.bin")) == content;
    }
    bool gnutlsVerifies(const Bytes& der) {
        writeBytes(file("p7.der"), der);
        auto verdict = runProcess({"certtool", "--p7-verify", "--inder", "--infile", file("p7.der"),
                                   "--load-ca-certificate", file("trusted.pem")});
        return verdict.exitStatus == 0;
    }

    test::TestChain chain_;
};

TEST_F(SignedDataTest, EverySignedDataVerifiesWithOpenSsl) {
    const std::u16string text = u"Pennaform 簽章 SignedData";
    const Bytes utf16 = utf16LeBytes(text);
    const struct {
        std::int32_t flags;
        bool sha1;
    } cases[] = {
        {0, false},
        {0, true},
        {0x0400, false},
        {0x2000, false},
        {0x2000, true},
        {0x0200, false},
        {0x0100, false},
        {0x0300, false},
        {0x0800, false},
        {0x1000, false},
        {0x1000 | 0x2000 | 0x0400, false},
        {0x0200 | 0x2000 | 0x0400, true},
    };
    for (const auto& c : cases) {
        if (c.sha1) useSha1();
        const Bytes der = signedData(text, c.flags);
        ASSERT_EQ(engine_.GetErrorCode(), 0) << c.flags << " " << engine_.GetCapiErrorCode();
        const std::string ansi = toAnsi(text);
        const Bytes content = (c.flags & 0x0800) ? Bytes(ansi.begin(), ansi.end()) : utf16;
        std::string why;
        EXPECT_TRUE(opensslVerifies(der, content, (c.flags & 0x0400) != 0, &why))
            << c.flags << (c.sha1 ? " SHA-1 " : " ") << why;
        // certtool needs the content inside and the signer's certificate, and
        // refuses md5WithRSAEncryption as a digest algorithm.
        if ((c.flags & (0x1000 | 0x0400 | 0x0100)) == 0) {
            EXPECT_TRUE(gnutlsVerifies(der)) << c.flags;
        }
        // Detached: the content is nowhere inside.
        EXPECT_EQ(offsetOf(der, content) == der.size(), (c.flags & 0x0400) != 0) << c.flags;
        // The certificates carried: the leaf alone, the chain, or none.
        const bool leafInside = offsetOf(der, chain_.leaf) < der.size();
        const bool rootInside = offsetOf(der, chain_.root) < der.size();
        EXPECT_EQ(leafInside, (c.flags & 0x0100) == 0) << c.flags;
        EXPECT_EQ(rootInside, (c.flags & 0x0300) == 0x0200) << c.flags;
        if (c.flags & 0x2000) {
            // contentType, signingTime, messageDigest, in that order.
            const std::size_t contentType =
                offsetOf(der, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03});
            const std::size_t signingTime =
                offsetOf(der, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05});
            const std::size_t messageDigest =
                offsetOf(der, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04});
            EXPECT_LT(contentType, signingTime);
            EXPECT_LT(signingTime, messageDigest);
            EXPECT_LT(messageDigest, der.size());
            const std::string digestName = (c.flags & 0x1000) ? "MD5" : c.sha1 ? "SHA1" : "SHA256";
            Bytes digestValue = test::digestOf(digestName, asString(content));
            digestValue.insert(digestValue.begin(), {0x04, std::uint8_t(digestValue.size())});
            EXPECT_LT(offsetOf(der, digestValue), der.size()) << c.flags;
        }
        if (c.flags & 0x1000) {  // md5WithRSAEncryption names the digest
            EXPECT_LT(
                offsetOf(der, {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x04}),
                der.size());
        }
        useSha2();
    }
}

TEST_F(SignedDataTest, ChainsAreTakenAsTheirTrustBitsAllow) {
    // An untrusted root: accepted.
    ASSERT_TRUE(engine_.platform().stores());
    {
        auto root = engine_.platform().stores()->openSystemStore(platform::SystemStore::kRoot);
        ASSERT_TRUE(root);
        ASSERT_TRUE((*root)->remove((*root)->certificates()->at(0).id));
    }
    install(chain_.rootName, "CA", false);
    EXPECT_FALSE(signedData(u"text", 0x0200).empty());
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    // A partial chain alone: 5202. With an expired leaf: accepted, as the
    // rule reads (a time problem lets any chain through).
    auto other = test::makeTestChain(
        ca_, "Other", {"--not-before", "20200101000000Z", "--not-after", "20210101000000Z"});
    install(other.leafName, "MY");
    selectFromMy(other.leaf);
    EXPECT_FALSE(signedData(u"text", 0x0200).empty());
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    ASSERT_TRUE(ca_.certificate("partial",
                                {"--subject", "/CN=Partial", "--key-bits", "1024", "--issuer-cert",
                                 ca_.path(other.intermediateName + ".der"), "--issuer-key",
                                 ca_.path(other.intermediateName + ".key.pem")}));
    install("partial", "MY");
    selectFromMy(test::readBinaryFile(ca_.path("partial.der")));
    EXPECT_EQ(signedData(u"text", 0x0200), Bytes());
    EXPECT_EQ(engine_.GetErrorCode(), codes::kNoCertificateChain);
    // Without 0x0200 no chain is needed.
    EXPECT_FALSE(signedData(u"text", 0).empty());
}

TEST_F(SignedDataTest, CertificatesItCannotDecodeAndDatesFrom2050) {
    ASSERT_TRUE(ca_.certificate("till2050", {"--subject", "/CN=Till 2050", "--key-bits", "1024",
                                             "--not-after", "20500601000000Z"}));
    install("till2050", "MY");
    selectFromMy(test::readBinaryFile(ca_.path("till2050.der")));
    const Bytes der = signedData(u"text", 0);
    ASSERT_EQ(engine_.GetErrorCode(), 0);
    writePem(file("trusted.pem"), {test::readBinaryFile(ca_.path("till2050.der"))});
    EXPECT_TRUE(opensslVerifies(der, utf16LeBytes(u"text"), false));
    // A version-1 certificate: 5040.
    ASSERT_EQ(
        runProcess({"openssl", "req", "-new", "-newkey", "rsa:1024", "-nodes", "-keyout",
                    ca_.path("v1.key.pem"), "-subj", "/CN=Version One", "-out", file("v1.csr")})
            .exitStatus,
        0);
    ASSERT_EQ(runProcess({"openssl", "x509", "-req", "-in", file("v1.csr"), "-key",
                          ca_.path("v1.key.pem"), "-days", "30", "-outform", "DER", "-out",
                          ca_.path("v1.der")})
                  .exitStatus,
              0);
    const Bytes v1 = test::readBinaryFile(ca_.path("v1.der"));
    ASSERT_EQ(v1.at(8), 0x02) << "not a version-1 certificate";  // the serial, no [0]
    install("v1", "MY");
    selectFromMy(v1);
    EXPECT_EQ(signedData(u"text", 0), Bytes());
    EXPECT_EQ(engine_.GetErrorCode(), codes::kBadCertificate);
    EXPECT_FALSE(engine_.SignPkcs1(u"text", 0).empty());
}

// The failures of SignPkcs7 that no signature reaches: a key its binding
// cannot reach (5225 for a provider of a card, 5206 for Microsoft's), and a
// chain with nothing to encode (5305 with the step's number, 53). The other
// encoding steps write constants and lengths DER always carries, so no
// input reaches them.
TEST_F(SignedDataTest, UnreachableKeysAndEmptyChainsFailBeforeAnyOutput) {
    auto my = std::move(*engine_.platform().stores()->openSystemStore(platform::SystemStore::kMy));
    const platform::CertId id = my->findBySha1(test::sha1Of(chain_.leaf))->id;
    const struct {
        const char16_t* provider;
        std::int32_t code;
    } bindings[] = {{u"Athena ASECard Crypto CSP", codes::kCardNotReady},
                    {u"Microsoft Enhanced Cryptographic Provider v1.0", codes::kNoPrivateKey}};
    for (const auto& binding : bindings) {
        SCOPED_TRACE(toAnsi(binding.provider));
        ASSERT_TRUE(my->setKeyProvInfo(
            id, {u"absent-container", binding.provider, 1, 0, platform::KeySpec::kSignature},
            platform::PropertyScope::kPersist));
        EXPECT_EQ(signedData(u"text", 0), Bytes());
        EXPECT_EQ(engine_.GetErrorCode(), binding.code);
        EXPECT_NE(engine_.GetCapiErrorCode(), 0);
    }

    for (const std::vector<Bytes>& elements :
         {std::vector<Bytes>{}, std::vector<Bytes>{chain_.leaf, Bytes()}}) {
        SignedDataRequest request;
        const Bytes content = utf16LeBytes(u"text");
        request.content = content;
        request.certificate = chain_.leaf;
        request.flags = signedDataFlags::kChain;
        request.sign = [](const ContentDigest&, Bytes& signature) {
            signature.assign(128, 0x5A);
            return SigningResult{};
        };
        request.chain = [&]() -> platform::Outcome<platform::CertificateChain> {
            return platform::CertificateChain{elements, 0};
        };
        const SignedDataResult built = buildSignedData(request);
        EXPECT_EQ(built.result.code, codes::kAsn1EncodeFailed);
        EXPECT_EQ(built.result.platformError, 53u);
        EXPECT_TRUE(built.der.empty());
    }
}

}  // namespace
}  // namespace pennaform
