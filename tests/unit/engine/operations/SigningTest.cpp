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
    // The container gone: the store still binds the certificate to it.
    auto my = engine_.platform().stores()->openSystemStore(platform::SystemStore::kMy);
    ASSERT_TRUE(my);
    const auto binding = *(*my)->properties((*my)->certificates()->at(0).id)->keyProvInfo;
    ASSERT_TRUE(engine_.platform().keys()->deleteContainer(
        {toAnsi(binding.containerName), toAnsi(binding.providerName), binding.providerType}));
    engine_.signer().clearCurrentSigner();
    selectFromMy(der);
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

}  // namespace
}  // namespace pennaform
