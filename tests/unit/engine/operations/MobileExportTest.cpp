// ExportMobileFromPfx and ExportMobileFromIE through the Engine: the record
// as `openssl enc` decrypts it (layout, sizes, key numbers beside OpenSSL's,
// local dates), the choice of certificate and file, the password dialog and
// a key that may not be exported.
#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fstream>

#include "encoding/ByteBuffer.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"
#include "toolkit/testca/InstallCommand.h"
#include "ui/hosts/DialogHostFactory.h"
#include "unit/certificates/CertificateTestSupport.h"

namespace pennaform {
namespace {

using platform::Bytes;

std::uint32_t bigEndian32(const Bytes& bytes, std::size_t at) {
    return std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16 |
           std::uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
}

// keyNumbers: n, p, q, dP, dQ, qInv and d of a PEM key, big-endian at the
// record's widths, as OpenSSL reads them.
Bytes keyNumbers(const std::string& pemPath, std::size_t bits) {
    FILE* file = std::fopen(pemPath.c_str(), "r");
    EVP_PKEY* key = file ? PEM_read_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
    if (file) std::fclose(file);
    Bytes out;
    for (const char* name :
         {OSSL_PKEY_PARAM_RSA_N, OSSL_PKEY_PARAM_RSA_FACTOR1, OSSL_PKEY_PARAM_RSA_FACTOR2,
          OSSL_PKEY_PARAM_RSA_EXPONENT1, OSSL_PKEY_PARAM_RSA_EXPONENT2,
          OSSL_PKEY_PARAM_RSA_COEFFICIENT1, OSSL_PKEY_PARAM_RSA_D}) {
        BIGNUM* number = nullptr;
        EXPECT_EQ(EVP_PKEY_get_bn_param(key, name, &number), 1);
        const bool full = name == std::string(OSSL_PKEY_PARAM_RSA_N) ||
                          name == std::string(OSSL_PKEY_PARAM_RSA_D);
        Bytes part(full ? bits / 8 : bits / 16);
        BN_bn2binpad(number, part.data(), int(part.size()));
        out.insert(out.end(), part.begin(), part.end());
        BN_free(number);
    }
    EVP_PKEY_free(key);
    return out;
}

class MobileExportTest : public ::testing::Test {
protected:
    MobileExportTest() : engine_(EngineConfig{folder_.sub("home"), false}) {}

    // decrypted: the record in `text`, as `openssl enc` opens it with the
    // key derived from `password`.
    Bytes decrypted(const std::u16string& text, const std::string& password) {
        ByteBuffer cipher;
        EXPECT_TRUE(cipher.base64Decode(toAnsi(text)));
        const std::string in =
            folder_.file("record.enc", std::string(reinterpret_cast<const char*>(cipher.data()),
                                                   std::size_t(cipher.length())));
        test::ProcessResult digest = test::runProcess({"openssl", "sha1", "-r"}, {}, password);
        const std::string key = digest.out.substr(0, 40) + "5155564f";  // "QUVO"
        test::ProcessResult run =
            test::runProcess({"openssl", "enc", "-d", "-des-ede3-cbc", "-K", key, "-iv",
                              "0000000000000000", "-in", in, "-out", folder_.sub("record")});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        return test::readBinaryFile(folder_.sub("record"));
    }

    void install(const std::string& name) {
        ASSERT_EQ(testca::runInstallCommand({"--home", folder_.sub("home"), "--store", "MY",
                                             "--cert", ca_.path(name + ".der"), "--key",
                                             ca_.path(name + ".key.pem")}),
                  0);
    }

    void useAnswers(const std::string& json) {
        ui::HostSetupProblem problem;
        engine_.platform().installDialogs(
            ui::makeDialogHost("scripted", folder_.file("answers.json", json), "", problem));
        ASSERT_NE(engine_.platform().dialogs(), nullptr) << problem.message;
    }

    test::TemporaryFolder folder_;
    test::TestCa ca_;
    Engine engine_;
};

TEST_F(MobileExportTest, TheRecordAsOpenSslDecryptsIt) {
    test::ScopedTimeZone zone("Asia/Taipei");
    // A 2048-bit key, a 7-character common name, an 8-byte serial number and
    // a certificate padded to 1000 bytes by the eight units' names of a
    // subjectAltName (which, unlike the subject, is not repeated as issuer).
    auto makeCertificate = [&](std::size_t pad) {
        std::string padding;
        for (std::size_t unit = 0; unit < 8; ++unit)
            padding += "/OU=" + std::string(pad / 8 + (unit < pad % 8 ? 1 : 0), 'x');
        return ca_.certificate("holder", {"--subject", "/CN=Example", "--alt-dirname", padding,
                                          "--serial", "0102030405060708", "--not-before",
                                          "20240131155959Z", "--key-bits", "2048"});
    };
    std::size_t pad = 100;
    std::optional<Bytes> certificate = makeCertificate(pad);
    // Length fields may grow a byte as the padding does: a few rounds settle it.
    for (int round = 0; round < 4 && certificate && certificate->size() != 1000; ++round) {
        ASSERT_LT(certificate->size(), 1000u + pad - 8);
        pad += 1000 - certificate->size();
        certificate = makeCertificate(pad);
    }
    ASSERT_TRUE(certificate) << ca_.lastError();
    ASSERT_EQ(certificate->size(), 1000u);
    ASSERT_EQ(ca_.run({"pfx", "--out", folder_.sub("holder.pfx"), "--cert", ca_.path("holder.der"),
                       "--key", ca_.path("holder.key.pem"), "--password", "secret12"})
                  .exitStatus,
              0);

    const std::u16string text =
        engine_.ExportMobileFromPfx(toWide(folder_.path()), u"holder.pfx", u"secret12", 0, 0);
    ASSERT_EQ(engine_.GetErrorCode(), 0);
    EXPECT_EQ(text.size(), 2988u);
    EXPECT_EQ(toAnsi(engine_.GetExportedPfxFilePath()), folder_.path());
    EXPECT_EQ(engine_.GetExportedPfxFileName(), u"holder.pfx");
    const Bytes record = decrypted(text, "secret12");
    ASSERT_EQ(record.size(), 2239u);
    EXPECT_EQ(std::string(record.begin(), record.begin() + 4), "QUVO");
    EXPECT_EQ(bigEndian32(record, 4), 2048u);
    EXPECT_EQ(bigEndian32(record, 8), 65537u);
    const std::size_t a = 12 + 2 * 256 + 5 * 128;
    EXPECT_EQ(Bytes(record.begin() + 12, record.begin() + long(a)),
              keyNumbers(ca_.path("holder.key.pem"), 2048));
    EXPECT_EQ(bigEndian32(record, a), 7u);
    EXPECT_EQ(std::string(record.begin() + long(a) + 4, record.begin() + long(a) + 11), "Example");
    EXPECT_EQ(bigEndian32(record, a + 11), 8u);
    EXPECT_EQ(Bytes(record.begin() + long(a) + 15, record.begin() + long(a) + 23),
              Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    // Not-before in Taipei's local time, eight hours ahead of UTC.
    EXPECT_EQ(std::string(record.begin() + long(a) + 43, record.begin() + long(a) + 57),
              "20240131235959");
    EXPECT_EQ(bigEndian32(record, a + 71), 1000u);
    EXPECT_EQ(Bytes(record.begin() + long(a) + 75, record.end()), *certificate);
}

TEST_F(MobileExportTest, ThePfxFileItsKeyedCertificateAndTheSignersFile) {
    ASSERT_TRUE(ca_.certificate("ca", {"--subject", "/CN=Issuer", "--ca", "--key-bits", "1024"}));
    ASSERT_TRUE(
        ca_.certificate("user", {"--subject", "/CN=User", "--key-bits", "1024", "--issuer-cert",
                                 ca_.path("ca.der"), "--issuer-key", ca_.path("ca.key.pem")}));
    // The issuer comes first and has no key: the user's certificate is taken.
    const std::string pfx = folder_.sub("user.pfx");
    ASSERT_EQ(
        ca_.run({"pfx", "--out", pfx, "--cert", ca_.path("user.der"), "--key",
                 ca_.path("user.key.pem"), "--chain", ca_.path("ca.der"), "--password", "userpass"})
            .exitStatus,
        0);
    const std::u16string fromFile =
        engine_.ExportMobileFromPfx(toWide(folder_.path()), u"user.pfx", u"userpass", 0, 0);
    ASSERT_EQ(engine_.GetErrorCode(), 0);
    const Bytes record = decrypted(fromFile, "userpass");
    EXPECT_EQ(std::string(record.begin() + 592, record.begin() + 596), "User");  // A = 588

    // Arguments left out ask for the file; the headless host cannot: 5002.
    EXPECT_EQ(engine_.ExportMobileFromPfx(u"", u"", u"", 0x4000, 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5002);
    // After a selection from a PFX file, 0x4000 uses that file: no dialog.
    engine_.signer().signerMedia = signerMedia::kPfxFile;
    engine_.signer().signerCertFilePath = folder_.path();
    engine_.signer().signerCertFileName = "user.pfx";
    engine_.signer().signerCertPasswd.assign("userpass");
    EXPECT_EQ(engine_.ExportMobileFromPfx(u"", u"", u"", 0x4000, 0).size(), fromFile.size());
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    EXPECT_EQ(engine_.ExportMobileFromPfx(u"", u"", u"", 0, 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5002);

    struct Refused {
        std::u16string name, password;
        std::int32_t keyUsage, code;
    };
    for (const Refused& r : {Refused{u"missing.pfx", u"userpass", 0, 5902},
                             Refused{u"user.pfx", u"wrongpass", 0, 5208},
                             Refused{u"user.pfx", u"userpass", 0x08, 5017}}) {
        EXPECT_EQ(
            engine_.ExportMobileFromPfx(toWide(folder_.path()), r.name, r.password, 0, r.keyUsage),
            u"");
        EXPECT_EQ(engine_.GetErrorCode(), r.code);
    }
}

TEST_F(MobileExportTest, FromMyWithThePasswordDialogAndAKeyThatStaysInside) {
    ASSERT_TRUE(ca_.certificate("ca", {"--subject", "/CN=Issuer", "--ca", "--key-bits", "1024"}));
    ASSERT_TRUE(ca_.certificate(
        "user", {"--subject", "/C=TW/CN=User", "--key-bits", "1024", "--issuer-cert",
                 ca_.path("ca.der"), "--issuer-key", ca_.path("ca.key.pem")}));
    install("user");
    // An empty password is asked for; the dialog accepts an empty one, and
    // the key is then derived from the digest of no bytes.
    useAnswers("[{\"dialog\": 205, \"actions\": [{\"press\": 1}]}]");
    const std::u16string text = engine_.ExportMobileFromIE(u"CN=User", u"", 0, 0);
    ASSERT_EQ(engine_.GetErrorCode(), 0);
    const Bytes record = decrypted(text, "");
    EXPECT_EQ(std::string(record.begin(), record.begin() + 4), "QUVO");
    EXPECT_EQ(engine_.GetExportedPfxFilePath(), u"");

    // A key made without the export flag stays inside: 5205.
    auto my = engine_.platform().stores()->openSystemStore(platform::SystemStore::kMy);
    ASSERT_TRUE(my);
    const platform::StoredCertificate user = (*my)->certificates()->at(0);
    platform::KeyProvInfo binding = *(*my)->properties(user.id)->keyProvInfo;
    auto opened = engine_.platform().keys()->createContainer(
        {"locked", toAnsi(binding.providerName), binding.providerType});
    ASSERT_TRUE(opened);
    ASSERT_TRUE((*opened)->generateKeyPair(platform::KeySpec::kKeyExchange, 1024, 0));
    binding.containerName = u"locked";
    ASSERT_TRUE((*my)->setKeyProvInfo(user.id, binding, platform::PropertyScope::kPersist));
    EXPECT_EQ(engine_.ExportMobileFromIE(u"CN=User", u"pw", 0, 0), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5205);
    EXPECT_EQ(std::uint32_t(engine_.GetCapiErrorCode()), platform::errors::kNteBadKeyState);
}

}  // namespace
}  // namespace pennaform
