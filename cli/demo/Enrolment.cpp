// The demo's enrolment: a signing and an encryption key made with their
// requests, the test CA issuing a certificate for each, and both installed
// with AcceptPKCS7, the signing one inside a bundle with the CA's root and
// intermediate.
#include <filesystem>
#include <fstream>

#include "cli/demo/DemoAreas.h"
#include "encoding/ByteBuffer.h"
#include "platform/CodePage.h"

namespace pennaform::cli {
namespace {

// writeRequest: the Base64 request text as a DER file.
bool writeRequest(const std::u16string& text, const std::string& path) {
    ByteBuffer der;
    if (!der.base64Decode(toAnsi(text))) return false;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(der.data()), der.length());
    return bool(out);
}

std::string base64File(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ByteBuffer text;
    if (!text.base64Encode(bytes.data(), std::int32_t(bytes.size()))) return "";
    return std::string(text.text());
}

}  // namespace

void demoEnrolment(DemoContext& demo) {
    DemoRun& run = demo.run;
    Engine& engine = demo.engine;
    const std::string folder = demo.home + "/enrolment/";
    std::filesystem::create_directories(folder);
    auto file = [&](const std::string& name) { return folder + name; };

    run.call("choose the AES provider (requests signed with sha256RSA)", "SetProviderName",
             {std::u16string(u"Microsoft Enhanced RSA and AES Cryptographic Provider")}, "0", 0);
    run.call("a request for a key length the providers do not make", "CreatePKCS10",
             {std::u16string(u"Chen"), std::int32_t(3072), std::int32_t(1)}, "", 5301);
    run.call("enrol a signing and an encryption key, 2048 bits", "CreatePKCS10Pair",
             {std::u16string(u"陳小華 Chen"), std::int32_t(2048), std::int32_t(1)}, "0", 0);
    const bool written = writeRequest(engine.GetCsrForSign(), file("signing.p10")) &&
                         writeRequest(engine.GetCsrForEncrypt(), file("encryption.p10"));
    run.check("both requests (GetCsrForSign, GetCsrForEncrypt) written as DER files", written);

    const std::vector<std::string> byIntermediate{"--issuer-cert", file("inter.der"),
                                                  "--issuer-key", file("inter.key")};
    auto issue = [&](const std::string& name, const std::string& usage) {
        std::vector<std::string> words{
            "cert",  "--subject",         "/CN=Chen",    "--request", file(name + ".p10"),
            "--out", file(name + ".der"), "--key-usage", usage};
        words.insert(words.end(), byIntermediate.begin(), byIntermediate.end());
        return runTestCa(words);
    };
    const bool issued =
        written &&
        runTestCa({"cert", "--ca", "--subject", "/O=Pennaform Demo/CN=Enrolment Root", "--out",
                   file("root.der"), "--key-out", file("root.key")}) &&
        runTestCa({"cert", "--ca", "--subject", "/O=Pennaform Demo/CN=Enrolment Issuing CA",
                   "--out", file("inter.der"), "--key-out", file("inter.key"), "--issuer-cert",
                   file("root.der"), "--issuer-key", file("root.key"), "--serial", "02"}) &&
        issue("signing", "digitalSignature,nonRepudiation") &&
        issue("encryption", "keyEncipherment") &&
        runTestCa({"bundle", "--out", file("answer.p7b"), file("root.der"), file("inter.der"),
                   file("signing.der")});
    run.check("the test CA issued both certificates from the requests", issued);
    if (!issued) return;

    auto count = [&](platform::SystemStore which) {
        auto store = engine.platform().stores()->openSystemStore(which);
        return store ? (*store)
                           ->certificates()
                           .valueOr(std::vector<platform::StoredCertificate>{})
                           .size()
                     : std::size_t(0);
    };
    const std::size_t personalBefore = count(platform::SystemStore::kMy);
    const std::size_t rootsBefore = count(platform::SystemStore::kRoot);
    const std::size_t authoritiesBefore = count(platform::SystemStore::kCa);
    run.call("install the signing certificate with its root and intermediate", "AcceptPKCS7",
             {utf8ToUtf16(base64File(file("answer.p7b")))}, "0", 0);
    run.call("install the encryption certificate, bare", "AcceptPKCS7",
             {utf8ToUtf16(base64File(file("encryption.der")))}, "0", 0);
    run.check("the root went to \"ROOT\", the intermediate to \"CA\"",
              count(platform::SystemStore::kRoot) == rootsBefore + 1 &&
                  count(platform::SystemStore::kCa) == authoritiesBefore + 1);
    run.check("both issued certificates are in \"MY\", bound to their keys",
              count(platform::SystemStore::kMy) == personalBefore + 2);
    // 0xC0: the signing certificate's key usage (digital signature, non-repudiation).
    run.call("choose the new signing certificate by its key usage", "SelectSigner",
             {std::u16string(u"S_CN=Chen"), std::int32_t(0x100), std::int32_t(0xC0)}, "0", 0);
    const std::u16string signature = engine.SignPkcs1(u"signed with the enrolled key", 0);
    run.check("SignPkcs1 with the new key: " + std::to_string(signature.size()) +
                  " hex characters (2048 bits)",
              engine.GetErrorCode() == 0 && signature.size() == 512);
}

}  // namespace pennaform::cli
