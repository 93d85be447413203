// Enrolment through the Engine: requests that OpenSSL and GnuTLS accept, the
// pending-request records, and the installation of what an authority built
// with the openssl command issues for them, in every form it comes in.
#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <fstream>

#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "support/Process.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"
#include "support/TestCertificates.h"

namespace pennaform {
namespace {

using platform::Bytes;
using platform::SystemStore;

constexpr const char* kBranch = "Software\\QUVO\\Pennaform";

std::string base64Of(const Bytes& bytes) {
    ByteBuffer text;
    text.base64Encode(bytes.data(), std::int32_t(bytes.size()));
    return std::string(text.text());
}

Bytes fromBase64(std::u16string_view text) {
    ByteBuffer bytes;
    bytes.base64Decode(toAnsi(text));
    return Bytes(bytes.bytes().begin(), bytes.bytes().end());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

::testing::AssertionResult runs(const std::vector<std::string>& argv, std::string* out = nullptr) {
    test::ProcessResult result = test::runProcess(argv);
    if (out) *out = result.out;
    if (result.exitStatus == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << argv[0] << " " << argv[1] << ": " << result.err;
}

// berBundle: a certificates-only SignedData with every constructed length
// indefinite, as NSS writes it.
Bytes berBundle(const std::vector<Bytes>& certificates) {
    Bytes out = {0x30, 0x80, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02,
                 0xA0, 0x80, 0x30, 0x80, 0x02, 0x01, 0x01, 0x31, 0x00, 0x30, 0x80, 0x06, 0x09,
                 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01, 0x00, 0x00, 0xA0, 0x80};
    for (const Bytes& certificate : certificates) {
        out.insert(out.end(), certificate.begin(), certificate.end());
    }
    const Bytes tail = {0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

// Authority: a root and an intermediate made with the openssl command once
// for the suite, issuing certificates for requests with `openssl x509 -req`.
class Authority {
public:
    Authority() {
        const std::string caExt = folder_.file(
            "ca.ext", "basicConstraints=critical,CA:true\nkeyUsage=critical,keyCertSign,cRLSign\n");
        folder_.file("ee.ext", "keyUsage=critical,digitalSignature,keyEncipherment\n");
        folder_.file("caee.ext", "keyUsage=critical,digitalSignature,keyCertSign\n");
        EXPECT_TRUE(runs({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj",
                          "/CN=Enrol Root", "-days", "30", "-keyout", path("root.key"), "-out",
                          path("root.pem"), "-addext", "keyUsage=critical,keyCertSign"}));
        EXPECT_TRUE(runs({"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj",
                          "/CN=Enrol Intermediate", "-keyout", path("inter.key"), "-out",
                          path("inter.csr")}));
        EXPECT_TRUE(runs({"openssl", "x509", "-req", "-in", path("inter.csr"), "-CA",
                          path("root.pem"), "-CAkey", path("root.key"), "-CAcreateserial", "-days",
                          "30", "-extfile", caExt, "-out", path("inter.pem")}));
        root = der("root.pem");
        intermediate = der("inter.pem");
    }
    std::string path(const std::string& name) const { return folder_.sub(name); }

    // issue: the certificate the intermediate issues for the Base64 request,
    // as PEM in `name`.pem; its DER. `extensions` names ee or caee.
    Bytes issue(std::u16string_view request, const std::string& name,
                const std::string& extensions = "ee") {
        writeFile(path(name + ".csr"), fromBase64(request));
        EXPECT_TRUE(
            runs({"openssl", "x509", "-req", "-inform", "DER", "-in", path(name + ".csr"), "-CA",
                  path("inter.pem"), "-CAkey", path("inter.key"), "-CAcreateserial", "-days", "30",
                  "-extfile", path(extensions + ".ext"), "-out", path(name + ".pem")}));
        return der(name + ".pem");
    }
    Bytes der(const std::string& pemName) const {
        std::string out;
        EXPECT_TRUE(runs({"openssl", "x509", "-in", path(pemName), "-outform", "DER", "-out",
                          path(pemName + ".der")}));
        return test::readBinaryFile(path(pemName + ".der"));
    }

    Bytes root, intermediate;

private:
    test::TemporaryFolder folder_;
};

class Enrolment : public ::testing::Test {
protected:
    static void SetUpTestSuite() { authority_ = new Authority(); }
    static void TearDownTestSuite() { delete authority_; }

    platform::Platform& platform() { return engine_.platform(); }

    // records: the names of the pending-request records.
    std::vector<std::string> records() {
        std::vector<std::string> names;
        auto branch = platform().registry()->openKey(platform::Hive::kCurrentUser, kBranch);
        if (!branch) return names;
        for (std::uint32_t i = 0;; ++i) {
            auto name = (*branch)->subkeyName(i);
            if (!name) return names;
            names.push_back(*name);
        }
    }
    Bytes recordValue(const std::string& record, const char* name, platform::ValueType type) {
        auto key = platform().registry()->openKey(platform::Hive::kCurrentUser,
                                                  std::string(kBranch) + "\\" + record);
        EXPECT_TRUE(key);
        auto value = (*key)->queryValue(name);
        EXPECT_TRUE(value) << name;
        EXPECT_EQ(value->type, type) << name;
        return value->data;
    }
    std::vector<platform::StoredCertificate> storeContents(SystemStore which) {
        return *(*platform().stores()->openSystemStore(which))->certificates();
    }
    std::int32_t accept(const Bytes& answer) { return accept(base64Of(answer)); }
    std::int32_t accept(const std::string& text) { return engine_.AcceptPKCS7(utf8ToUtf16(text)); }

    static Authority* authority_;
    test::TemporaryFolder folder_;
    Engine engine_{EngineConfig{folder_.sub("home")}};
};
Authority* Enrolment::authority_ = nullptr;

TEST_F(Enrolment, RequestsVerifyParseAndFollowTheProviderType) {
    struct Case {
        std::u16string provider;
        const char* algorithm;
        std::uint32_t type;
    };
    const Case cases[] = {
        {u"Microsoft Enhanced RSA and AES Cryptographic Provider", "sha256WithRSAEncryption", 24},
        {u"Microsoft Strong Cryptographic Provider", "sha1WithRSAEncryption", 1},
    };
    const std::u16string name = u"Wang \u738B x";
    for (const Case& c : cases) {
        SCOPED_TRACE(toAnsi(c.provider));
        ASSERT_EQ(engine_.SetProviderName(c.provider), 0);
        const std::u16string text = engine_.CreatePKCS10(name, 1024, 1);
        ASSERT_EQ(engine_.GetErrorCode(), 0) << std::hex << engine_.GetCapiErrorCode();
        EXPECT_EQ(text.find_first_of(u"\r\n-"), std::u16string::npos);
        EXPECT_EQ(engine_.GetCsrForSign(), text);
        EXPECT_EQ(engine_.GetCsrForEncrypt(), u"");
        const Bytes der = fromBase64(text);
        const std::string file = folder_.sub("request.der");
        writeFile(file, der);
        std::string shown;
        EXPECT_TRUE(
            runs({"openssl", "req", "-inform", "DER", "-in", file, "-verify", "-noout", "-text"},
                 &shown));
        EXPECT_NE(shown.find(c.algorithm), std::string::npos) << shown;
        EXPECT_TRUE(runs({"certtool", "--crq-info", "--inder", "--infile", file}));
        EXPECT_TRUE(runs({"openssl", "asn1parse", "-inform", "DER", "-in", file}, &shown));
        EXPECT_NE(shown.find("BMPSTRING"), std::string::npos) << shown;
        const Bytes bmp = {0x1E, 0x10, 0x00, 'W',  0x00, 'a',  0x00, 'n',  0x00,
                           'g',  0x00, ' ',  0x73, 0x8B, 0x00, ' ',  0x00, 'x'};
        EXPECT_NE(std::search(der.begin(), der.end(), bmp.begin(), bmp.end()), der.end());
        const Bytes noAttributes = {0xA0, 0x00, 0x30};
        EXPECT_NE(std::search(der.begin(), der.end(), noAttributes.begin(), noAttributes.end()),
                  der.end());
    }
    // One record per key, named like a GUID, holding what the key was made
    // with; the public key is the container's own.
    const std::vector<std::string> names = records();
    ASSERT_EQ(names.size(), 2u);
    // hasShape: 'X' stands for an upper-case hex digit, '9' for a digit, any
    // other character for itself.
    auto hasShape = [](const std::string& text, std::string_view shape) {
        if (text.size() != shape.size()) return false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            const bool digit = c >= '0' && c <= '9';
            const bool fits = shape[i] == 'X'   ? digit || (c >= 'A' && c <= 'F')
                              : shape[i] == '9' ? digit
                                                : c == shape[i];
            if (!fits) return false;
        }
        return true;
    };
    for (const std::string& record : names) {
        EXPECT_TRUE(hasShape(record, "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX")) << record;
        const Bytes type = recordValue(record, "ProviderType", platform::ValueType::kDword);
        const Bytes provider = recordValue(record, "ProviderName", platform::ValueType::kString);
        const std::string providerName(provider.begin(), provider.end());
        EXPECT_EQ(type, (Bytes{std::uint8_t(providerName.find("AES") != std::string::npos ? 24 : 1),
                               0, 0, 0}));
        EXPECT_EQ(recordValue(record, "KeySpec", platform::ValueType::kDword), (Bytes{1, 0, 0, 0}));
        const Bytes common = recordValue(record, "CommonName", platform::ValueType::kString);
        EXPECT_EQ(std::string(common.begin(), common.end()), "Wang \xE7\x8E\x8B x");
        const Bytes when = recordValue(record, "DateTime", platform::ValueType::kString);
        EXPECT_TRUE(hasShape(std::string(when.begin(), when.end()), "9999/99/99 99:99:99"));
        auto container = *platform().keys()->openContainer({record, providerName, type[0]});
        auto key = *container->userKey(platform::KeySpec::kKeyExchange);
        EXPECT_EQ(recordValue(record, "PublicKey", platform::ValueType::kBinary),
                  *key->exportPublicKeyBlob());
    }
    // A lone surrogate is outside every code page: the request carries the
    // code unit as given (OpenSSL, holding BMPString to UCS-2, refuses it),
    // the record's text a '?'.
    const Bytes lone = fromBase64(engine_.CreatePKCS10(u"A\xD800", 1024, 1));
    const Bytes loneBmp = {0x1E, 0x04, 0x00, 'A', 0xD8, 0x00};
    EXPECT_NE(std::search(lone.begin(), lone.end(), loneBmp.begin(), loneBmp.end()), lone.end());
    ASSERT_EQ(records().size(), 3u);
    int questionMarks = 0;
    for (const std::string& record : records()) {
        const Bytes common = recordValue(record, "CommonName", platform::ValueType::kString);
        questionMarks += std::string(common.begin(), common.end()) == "A?";
    }
    EXPECT_EQ(questionMarks, 1);

    // A length the providers do not make ends before any key or record.
    EXPECT_EQ(engine_.CreatePKCS10(u"x", 3072, 1), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kBadKeyLength);
    EXPECT_EQ(engine_.GetCsrForSign(), u"");
    EXPECT_EQ(records().size(), 3u);
    EXPECT_EQ(engine_.CreatePKCS10(u"", 1024, 1), u"");
    EXPECT_EQ(engine_.GetErrorCode(), codes::kBadArgument);
}

TEST_F(Enrolment, APairMakesASigningThenAnEncryptionKey) {
    ASSERT_EQ(engine_.CreatePKCS10Pair(u"Pair", 1024, 0), 0);
    const Bytes forSigning = fromBase64(engine_.GetCsrForSign());
    const Bytes forEncryption = fromBase64(engine_.GetCsrForEncrypt());
    ASSERT_FALSE(forSigning.empty() || forEncryption.empty());
    ASSERT_EQ(records().size(), 2u);
    int seen = 0;
    for (const std::string& record : records()) {
        const Bytes spec = recordValue(record, "KeySpec", platform::ValueType::kDword);
        auto container =
            *platform().keys()->openContainer({record, std::string(providerNames::kAes), 24});
        const Bytes info = *container->publicKeyInfo(platform::KeySpec(spec[0]));
        const Bytes& request = spec[0] == 2 ? forSigning : forEncryption;
        EXPECT_NE(std::search(request.begin(), request.end(), info.begin(), info.end()),
                  request.end());
        seen |= spec[0];
        // Archivable only (flags 0): the key passed the screening, and is
        // not exported afterwards.
        EXPECT_EQ((*container->userKey(platform::KeySpec(spec[0])))->exportPrivateKeyBlob().error(),
                  platform::errors::kNteBadKeyState);
    }
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(engine_.enroller().keySpec(), platform::KeySpec::kKeyExchange);
}

TEST_F(Enrolment, AHomeThatCannotBeWrittenGivesNoRequest) {
    std::ofstream(folder_.sub("file")) << "in the way";
    Engine blocked(EngineConfig{folder_.sub("file") + "/home"});
    EXPECT_EQ(blocked.CreatePKCS10(u"x", 1024, 1), u"");
    EXPECT_EQ(blocked.GetErrorCode(), codes::kInsufficientRights);
    // The folder of the home cannot be made: the platform says why.
    EXPECT_EQ(std::uint32_t(blocked.GetCapiErrorCode()), platform::errors::kErrorPathNotFound);
    EXPECT_EQ(blocked.CreatePKCS10Pair(u"x", 1024, 1), codes::kInsufficientRights);
    EXPECT_EQ(blocked.GetCsrForSign(), u"");
    EXPECT_EQ(blocked.GetCsrForEncrypt(), u"");
}

TEST_F(Enrolment, AnIssuedCertificateInstallsInEveryFormBoundToItsKey) {
    const std::u16string request = engine_.CreatePKCS10(u"Issued", 1024, 1);
    ASSERT_EQ(engine_.GetErrorCode(), 0);
    const Bytes issued = authority_->issue(request, "issued");
    ASSERT_TRUE(runs({"openssl", "crl2pkcs7", "-nocrl", "-certfile", authority_->path("root.pem"),
                      "-certfile", authority_->path("inter.pem"), "-certfile",
                      authority_->path("issued.pem"), "-out", folder_.sub("bundle.p7b")}));
    const std::string answers[] = {
        base64Of(issued),
        readText(authority_->path("issued.pem")),
        readText(folder_.sub("bundle.p7b")),
        base64Of(berBundle({authority_->root, authority_->intermediate, issued})),
    };
    for (const std::string& answer : answers) {
        EXPECT_EQ(accept(answer), 0) << answer.substr(0, 40);
        EXPECT_EQ(engine_.GetCapiErrorCode(), 0);
    }
    // The same answer installed again adds it again; the authorities once.
    auto personal = *platform().stores()->openSystemStore(SystemStore::kMy);
    auto mine = *personal->certificates();
    ASSERT_EQ(mine.size(), 4u);
    EXPECT_EQ(storeContents(SystemStore::kRoot).size(), 1u);
    EXPECT_EQ(storeContents(SystemStore::kRoot)[0].encoded, authority_->root);
    ASSERT_EQ(storeContents(SystemStore::kCa).size(), 1u);
    EXPECT_EQ(storeContents(SystemStore::kCa)[0].encoded, authority_->intermediate);

    const std::string record = records().at(0);
    const Bytes digest = test::digestOf("SHA256", "signed with the installed key");
    const unsigned char* cursor = issued.data();
    std::unique_ptr<X509, decltype(&X509_free)> x509(
        d2i_X509(nullptr, &cursor, long(issued.size())), X509_free);
    unsigned char* spki = nullptr;
    const int spkiLen = i2d_PUBKEY(X509_get0_pubkey(x509.get()), &spki);
    const Bytes certificateKey(spki, spki + spkiLen);
    OPENSSL_free(spki);
    for (const platform::StoredCertificate& copy : mine) {
        EXPECT_EQ(copy.encoded, issued);
        platform::CertProperties properties = *personal->properties(copy.id);
        ASSERT_TRUE(properties.keyProvInfo);
        EXPECT_EQ(properties.keyProvInfo->containerName, utf8ToUtf16(record));
        EXPECT_EQ(properties.keyProvInfo->providerType, 24u);
        EXPECT_EQ(properties.keyProvInfo->keySpec, platform::KeySpec::kKeyExchange);
        EXPECT_EQ(properties.friendlyName, u"Issued");
        // The binding reaches the key that signs for the certificate.
        platform::KeyContext key = *personal->acquirePrivateKey(copy.id);
        Bytes signature =
            *key.container->signHash(key.keySpec, platform::algorithms::kSha256, digest);
        std::reverse(signature.begin(), signature.end());
        EXPECT_TRUE(test::verifiesPkcs1(certificateKey, "SHA256", digest, signature));
    }
}

TEST_F(Enrolment, WhatABundleInstallsAndWhenNothingMatches) {
    // Before any request there is nothing to match (not a lack of rights).
    test::TestIdentity stranger = test::makeTestIdentity("Stranger", 1024);
    EXPECT_EQ(accept(stranger.certificateDer), codes::kCertificateNotFound);
    EXPECT_EQ(engine_.GetCapiErrorCode(), std::int32_t(platform::errors::kErrorFileNotFound));

    ASSERT_EQ(engine_.CreatePKCS10Pair(u"Two", 1024, 1), 0);
    const Bytes signing = authority_->issue(engine_.GetCsrForSign(), "signing");
    const Bytes encryption = authority_->issue(engine_.GetCsrForEncrypt(), "encryption");

    // Only CA certificates: they are installed, and nothing else is there.
    EXPECT_EQ(accept(berBundle({authority_->root, authority_->intermediate})), codes::kNoKey);
    EXPECT_EQ(storeContents(SystemStore::kRoot).size(), 1u);
    EXPECT_EQ(storeContents(SystemStore::kCa).size(), 1u);

    // Two end-entity certificates: the last one only.
    EXPECT_EQ(accept(berBundle({signing, authority_->intermediate, encryption})), 0);
    auto personal = storeContents(SystemStore::kMy);
    ASSERT_EQ(personal.size(), 1u);
    EXPECT_EQ(personal[0].encoded, encryption);

    // A certificate of a key this engine did not make.
    EXPECT_EQ(accept(stranger.certificateDer), codes::kCertificateNotFound);
    EXPECT_EQ(engine_.GetCapiErrorCode(), std::int32_t(platform::errors::kErrorNoMoreItems));

    // A record of 2048 bits whose modulus starts with the 1024-bit key's
    // bytes never matches: the lengths differ.
    auto records = platform().registry()->openKey(platform::Hive::kCurrentUser, kBranch);
    ASSERT_TRUE(records);
    Bytes strangerBlob = *platform().certificateReader()->rsaPublicKeyBlob(stranger.certificateDer);
    Bytes longer = strangerBlob;
    longer.resize(20 + 256, 0xAB);
    longer[13] = 0x08;
    auto fake = *platform().registry()->createKey(std::string(kBranch) + "\\00-long");
    ASSERT_TRUE(fake->setValue("PublicKey", platform::ValueType::kBinary, longer));
    EXPECT_EQ(accept(stranger.certificateDer), codes::kCertificateNotFound);

    // Certificate signing in an end-entity certificate: a CA one inside a
    // bundle (and then nothing is left), the issued one when bare.
    ASSERT_EQ(engine_.CreatePKCS10(u"Signs Certificates", 1024, 1).empty(), false);
    const Bytes signsCertificates = authority_->issue(engine_.GetCsrForSign(), "caee", "caee");
    EXPECT_EQ(accept(berBundle({signsCertificates})), codes::kNoKey);
    EXPECT_EQ(storeContents(SystemStore::kCa).size(), 2u);
    EXPECT_EQ(accept(signsCertificates), 0);
    EXPECT_EQ(storeContents(SystemStore::kMy).size(), 2u);

    // Bundles other tools wrote: Windows' one root; NSS's chain (in BER of
    // indefinite lengths) to a server certificate whose EC key no RSA record
    // can hold.
    EXPECT_EQ(accept(test::readBinaryFile(PENNAFORM_TEST_DATA "/windows.p7c")), codes::kNoKey);
    EXPECT_EQ(accept(test::readBinaryFile(PENNAFORM_TEST_DATA "/nss.p7c")), codes::kBadCertificate);
    EXPECT_EQ(storeContents(SystemStore::kRoot).size(), 3u);
    EXPECT_EQ(storeContents(SystemStore::kCa).size(), 3u);
    EXPECT_EQ(engine_.AcceptPKCS7(u""), codes::kBadArgument);
}

}  // namespace
}  // namespace pennaform
