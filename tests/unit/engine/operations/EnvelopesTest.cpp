// CertEncryptPkcs7 and CertDecryptPkcs7 through the Engine: what they write,
// `openssl cms -decrypt` reads, and what `openssl cms -encrypt` writes, they
// read; the certificate texts they accept; the keys that may and may not
// open an envelope; and the PFX fallback through the dialog host.
#include <gtest/gtest.h>

#include <fstream>

#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "support/KeyConsent.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"
#include "toolkit/testca/InstallCommand.h"
#include "ui/hosts/DialogHostFactory.h"

namespace pennaform {
namespace {

using platform::Bytes;

std::string base64Of(const Bytes& der) {
    ByteBuffer text;
    EXPECT_TRUE(text.base64Encode(der.data(), std::int32_t(der.size())));
    return std::string(text.text());
}

Bytes fromBase64(const std::u16string& text) {
    ByteBuffer bytes;
    EXPECT_TRUE(bytes.base64Decode(toAnsi(text)));
    return Bytes(bytes.bytes().begin(), bytes.bytes().end());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

// The content-encryption OIDs as they stand in the DER.
const Bytes kDesEde3Oid = {0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x03, 0x07};
const Bytes kDesOid = {0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x07};
const Bytes kRc4Oid = {0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x03, 0x04};

class EnvelopesTest : public ::testing::Test {
protected:
    EnvelopesTest() : engine_(EngineConfig{folder_.sub("home"), false}) {
        alice_ = make("alice", "/CN=Alice");
        bob_ = make("bob", "/CN=Bob");
        EXPECT_EQ(
            testca::runInstallCommand({"--home", folder_.sub("home"), "--store", "MY", "--cert",
                                       ca_.path("alice.der"), "--key", ca_.path("alice.key.pem")}),
            0);
    }

    Bytes make(const std::string& name, const std::string& subject) {
        std::optional<Bytes> der = ca_.certificate(
            name, {"--subject", subject, "--key-bits", "1024", "--pem", ca_.path(name + ".pem")});
        EXPECT_TRUE(der) << ca_.lastError();
        return der.value_or(Bytes{});
    }

    std::u16string wide(const std::string& text) { return toWide(text); }

    // opensslDecrypts: the content `openssl cms -decrypt` finds in an envelope
    // with the key of `name`.
    std::string opensslDecrypts(const std::u16string& envelope, const std::string& name) {
        writeFile(folder_.sub("in.der"), fromBase64(envelope));
        test::ProcessResult run = test::runProcess(
            {"openssl", "cms", "-decrypt", "-provider", "legacy", "-provider", "default", "-binary",
             "-inform", "DER", "-in", folder_.sub("in.der"), "-recip", ca_.path(name + ".pem"),
             "-inkey", ca_.path(name + ".key.pem")});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        return run.out;
    }

    // opensslEncrypts: the Base64 of `openssl cms -encrypt` with `cipher` of
    // `plain` for the named recipients.
    std::u16string opensslEncrypts(const std::string& cipher, const std::string& plain,
                                   const std::vector<std::string>& names) {
        std::vector<std::string> argv = {
            "openssl", "cms",  "-encrypt", "-provider", "legacy", "-provider",           "default",
            "-binary", cipher, "-outform", "DER",       "-out",   folder_.sub("out.der")};
        for (const std::string& name : names) argv.push_back(ca_.path(name + ".pem"));
        test::ProcessResult run = test::runProcess(argv, {}, plain);
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        return wide(base64Of(test::readBinaryFile(folder_.sub("out.der"))));
    }

    // bindToNewKey: puts `der` into "MY" bound to a new key of its own in
    // slot `spec`, which is not the certificate's key.
    void bindToNewKey(const Bytes& der, platform::KeySpec spec, std::uint32_t flags) {
        const std::string container = "other-" + std::to_string(int(spec)) + std::to_string(flags);
        auto opened = engine_.platform().keys()->createContainer(
            {container, "Microsoft Enhanced RSA and AES Cryptographic Provider", 24});
        ASSERT_TRUE(opened);
        ASSERT_TRUE(test::generateWithConsent(engine_.platform(), **opened, spec, 1024, flags,
                                              folder_.sub("consent.json")));
        auto my = engine_.platform().stores()->openSystemStore(platform::SystemStore::kMy);
        ASSERT_TRUE(my);
        platform::CertProperties properties;
        properties.keyProvInfo = platform::KeyProvInfo{
            toWide(container), u"Microsoft Enhanced RSA and AES Cryptographic Provider", 24, 0,
            spec};
        ASSERT_TRUE((*my)->add(der, properties, platform::AddDisposition::kAlways));
    }

    test::TemporaryFolder folder_;
    test::TestCa ca_;
    Engine engine_;
    Bytes alice_, bob_;
};

TEST_F(EnvelopesTest, OpenSslReadsEveryEnvelopeWrittenHere) {
    const std::u16string text = u"Envelope 信封 text";
    const std::string aliceText = base64Of(alice_);
    struct Case {
        std::int32_t iAlgorithm;
        const Bytes* oid;
    };
    for (const Case& c : {Case{0, &kDesEde3Oid}, Case{3, &kDesEde3Oid}, Case{-1, &kDesEde3Oid},
                          Case{1, &kDesOid}, Case{2, &kRc4Oid}}) {
        for (std::int32_t flags : {0, 0x800}) {
            SCOPED_TRACE(testing::Message() << c.iAlgorithm << " flags " << flags);
            const std::u16string envelope =
                engine_.CertEncryptPkcs7(text, wide(aliceText), c.iAlgorithm, flags);
            ASSERT_EQ(engine_.GetErrorCode(), 0);
            EXPECT_TRUE(contains(fromBase64(envelope), *c.oid));
            const std::string expected =
                flags ? CodePage::process().toAnsi(text)
                      : std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
            EXPECT_EQ(opensslDecrypts(envelope, "alice"), expected);
            // The key is in "MY": no dialog (the headless host could show none).
            EXPECT_EQ(engine_.CertDecryptPkcs7(envelope, flags), text);
            EXPECT_EQ(engine_.GetErrorCode(), 0);
        }
    }
}

TEST_F(EnvelopesTest, ReadsWhatOpenSslWritesForOneAndTwoRecipients) {
    for (const char* cipher : {"-des3", "-des", "-rc4"}) {
        for (const std::vector<std::string>& names :
             {std::vector<std::string>{"alice"}, std::vector<std::string>{"bob", "alice"}}) {
            SCOPED_TRACE(testing::Message() << cipher << " " << names.size());
            EXPECT_EQ(
                engine_.CertDecryptPkcs7(opensslEncrypts(cipher, "plain\r\ntext", names), 0x800),
                u"plain\r\ntext");
            EXPECT_EQ(engine_.GetErrorCode(), 0);
        }
    }
}

TEST_F(EnvelopesTest, CertificateTextsAndArguments) {
    const std::string b64 = base64Of(alice_);
    std::string armoured = "-----BEGIN CERTIFICATE-----\r\n";
    for (std::size_t at = 0; at < b64.size(); at += 64) armoured += b64.substr(at, 64) + "\r\n";
    armoured += "-----END CERTIFICATE-----\r\n";
    EXPECT_NE(engine_.CertEncryptPkcs7(u"x", wide(armoured), 0, 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    std::string otherArmour = armoured;
    otherArmour.replace(11, 11, "X509 CERTIFICATE");
    otherArmour.replace(otherArmour.find("END CERTIFICATE"), 15, "END X509 CERTIFICATE");
    struct Refused {
        std::string text;
        std::int32_t code;
    };
    for (const Refused& r :
         {Refused{" " + armoured, 5040}, Refused{"\r\n" + armoured, 5040},
          Refused{otherArmour, 5040},
          Refused{"-----BEGIN PKCS7-----\n" + b64 + "\n-----END PKCS7-----", 5040},
          Refused{"N" + b64.substr(1), 5040}, Refused{"MIIB!!", 5040}, Refused{"MAMCAQA=", 5040},
          Refused{"", 5005}}) {
        EXPECT_EQ(engine_.CertEncryptPkcs7(u"x", wide(r.text), 0, 0), u"") << r.text;
        EXPECT_EQ(engine_.GetErrorCode(), r.code) << r.text;
    }
    EXPECT_EQ(engine_.CertEncryptPkcs7(u"", wide(b64), 0, 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5005);
    EXPECT_EQ(engine_.CertDecryptPkcs7(u"", 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5005);
    // Not an envelope: a certificate is no message, a signed message no envelope.
    EXPECT_EQ(engine_.CertDecryptPkcs7(wide(b64), 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 9005);

    // With 0x800 on one side only the bytes are read in pairs.
    const std::u16string ansi = engine_.CertEncryptPkcs7(u"abcd", wide(b64), 0, 0x800);
    EXPECT_EQ(engine_.CertDecryptPkcs7(ansi, 0), std::u16string({u'\u6261', u'\u6463'}));
    const std::u16string wideText = engine_.CertEncryptPkcs7(u"ab", wide(b64), 0, 0);
    EXPECT_EQ(engine_.CertDecryptPkcs7(wideText, 0x800), u"a");
}

TEST_F(EnvelopesTest, BundlesMakeEveryCertificateARecipientOnce) {
    test::ProcessResult bundle =
        ca_.run({"bundle", "--out", ca_.path("chain.p7c"), ca_.path("bob.der"),
                 ca_.path("alice.der"), ca_.path("bob.der")});
    ASSERT_EQ(bundle.exitStatus, 0) << bundle.err;
    const Bytes bundleDer = test::readBinaryFile(ca_.path("chain.p7c"));
    const std::u16string envelope = engine_.CertEncryptPkcs7(
        u"to both",
        wide("-----BEGIN PKCS #7-----\n" + base64Of(bundleDer) + "\n-----END PKCS #7-----"), 0,
        0x800);
    ASSERT_EQ(engine_.GetErrorCode(), 0);
    EXPECT_EQ(opensslDecrypts(envelope, "alice"), "to both");
    EXPECT_EQ(opensslDecrypts(envelope, "bob"), "to both");
    // Bob twice in the bundle is one recipient: two RSA-wrapped keys in all.
    test::ProcessResult parsed = test::runProcess(
        {"openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in", folder_.sub("in.der")});
    std::size_t wrapped = 0;
    for (std::size_t at = parsed.out.find("encryptedKey"); at != std::string::npos;
         at = parsed.out.find("encryptedKey", at + 1)) {
        ++wrapped;
    }
    EXPECT_EQ(wrapped, 2u);
}

TEST_F(EnvelopesTest, OnlyAnExchangeKeyThatFitsOpensTheEnvelope) {
    const Bytes carol = make("carol", "/CN=Carol");
    bindToNewKey(carol, platform::KeySpec::kSignature, platform::keyFlags::kExportable);
    const Bytes dave = make("dave", "/CN=Dave");
    bindToNewKey(dave, platform::KeySpec::kKeyExchange, platform::keyFlags::kExportable);
    const Bytes erin = make("erin", "/CN=Erin");
    bindToNewKey(erin, platform::KeySpec::kKeyExchange, platform::keyFlags::kUserProtected);
    struct Case {
        const Bytes* certificate;
        std::int32_t iAlgorithm;
        std::int32_t code;
    };
    // A signature key may not decrypt (5017). A key that is not the
    // certificate's fails its unwrapping even under RC4, which has no
    // padding to catch a wrong key (9005, never text). A user-protected key
    // with no one to ask is not used (9005).
    for (const Case& c : {Case{&carol, 0, 5017}, Case{&dave, 0, 9005}, Case{&dave, 2, 9005},
                          Case{&erin, 0, 9005}}) {
        const std::u16string envelope =
            engine_.CertEncryptPkcs7(u"secret", wide(base64Of(*c.certificate)), c.iAlgorithm, 0);
        EXPECT_EQ(engine_.CertDecryptPkcs7(envelope, 0), u"");
        EXPECT_EQ(engine_.GetErrorCode(), c.code);
        EXPECT_EQ(engine_.GetCapiErrorCode(), 0);
    }
}

TEST_F(EnvelopesTest, NoKeyInMyFallsBackToAPfxFile) {
    const std::u16string envelope =
        engine_.CertEncryptPkcs7(u"for bob", wide(base64Of(bob_)), 0, 0);
    // No dialog can be shown: 5002.
    EXPECT_EQ(engine_.CertDecryptPkcs7(envelope, 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5002);

    const std::string pfx = folder_.sub("bob.pfx");
    ASSERT_EQ(ca_.run({"pfx", "--out", pfx, "--cert", ca_.path("bob.der"), "--key",
                       ca_.path("bob.key.pem"), "--password", "bobpass1"})
                  .exitStatus,
              0);
    const std::string answers = folder_.file(
        "answers.json", "[{\"dialog\": 202, \"actions\": [{\"set\": 302, \"text\": \"" + pfx +
                            "\"}, {\"set\": 303, \"text\": \"bobpass1\"}, {\"press\": 1}]},"
                            " {\"dialog\": 202, \"actions\": [{\"set\": 302, \"text\": \"" +
                            pfx +
                            "\"}, {\"set\": 303, \"text\": \"wrongpass\"}, {\"press\": 1}]},"
                            " {\"dialog\": 202, \"actions\": [{\"press\": 2}]}]");
    ui::HostSetupProblem problem;
    engine_.platform().installDialogs(ui::makeDialogHost("scripted", answers, "", problem));
    ASSERT_NE(engine_.platform().dialogs(), nullptr) << problem.message;
    EXPECT_EQ(engine_.CertDecryptPkcs7(envelope, 0), u"for bob");
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    EXPECT_EQ(engine_.CertDecryptPkcs7(envelope, 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5010);
    EXPECT_EQ(engine_.CertDecryptPkcs7(envelope, 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5070);
    // The file's key lived for the one call: "MY" still has none for Bob.
    auto my = engine_.platform().stores()->openSystemStore(platform::SystemStore::kMy);
    ASSERT_TRUE(my);
    EXPECT_EQ((*my)->certificates()->size(), 1u);
}

}  // namespace
}  // namespace pennaform
