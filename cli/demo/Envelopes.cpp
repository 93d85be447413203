// The demo's envelopes and mobile export, on the certificates the personal
// store steps made: a text enveloped for Wang and Li, opened with Wang's key
// in "MY", opened with Li's PFX file through the scripted dialog host, and
// Li's mobile export opened again with `openssl enc`.
#include "cli/demo/DemoAreas.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "encoding/ByteBuffer.h"
#include "pfx/MobileExport.h"
#include "platform/CodePage.h"
#include "ui/hosts/DialogHostFactory.h"

namespace pennaform::cli {
namespace {

platform::Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return platform::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::u16string base64Of(const platform::Bytes& bytes) {
    ByteBuffer text;
    if (bytes.empty() || !text.base64Encode(bytes.data(), std::int32_t(bytes.size()))) return {};
    return toWide(text.text());
}

}  // namespace

void demoEnvelopes(DemoContext& demo) {
    DemoRun& run = demo.run;
    Engine& engine = demo.engine;
    const std::string folder = demo.home + "/certificates/";
    const std::string testCa = testCaProgram();
    const bool made =
        runProgram({testCa, "bundle", "--out", folder + "both.p7c", folder + "wang.der",
                    folder + "li.der"}) &&
        runProgram({testCa, "pfx", "--out", folder + "li.pfx", "--cert", folder + "li.der", "--key",
                    folder + "li.key", "--password", "lipass12"});
    run.check("the test CA bundled Wang's and Li's certificates and wrote Li's PFX file", made);
    if (!made) return;

    const std::u16string text = u"合約內容: envelope for two";
    const platform::Bytes bundle = readFile(folder + "both.p7c");
    const std::u16string recipients =
        u"-----BEGIN PKCS #7-----\n" + base64Of(bundle) + u"\n-----END PKCS #7-----";
    const std::u16string envelope = engine.CertEncryptPkcs7(text, recipients, 0, 0);
    run.check("CertEncryptPkcs7 for Wang and Li (a PKCS #7 bundle), Triple DES: " +
                  std::to_string(envelope.size()) + " Base64 characters",
              engine.GetErrorCode() == 0 && !envelope.empty());
    run.check("CertDecryptPkcs7 with Wang's key in \"MY\", no dialog",
              engine.CertDecryptPkcs7(envelope, 0) == text && engine.GetErrorCode() == 0);

    // Li's certificate left "MY" in the personal store steps: the message for
    // Li falls back to the PFX dialog, answered by the scripted host.
    const std::u16string forLi =
        engine.CertEncryptPkcs7(u"for Li only", base64Of(readFile(folder + "li.der")), 1, 0x800);
    const std::string answers = demo.home + "/answers.json";
    std::ofstream(answers) << "[{\"dialog\": 202, \"actions\": [{\"set\": 302, \"text\": \""
                           << folder << "li.pfx\"}, {\"set\": 303, \"text\": \"lipass12\"},"
                           << " {\"press\": 1}]}]";
    ui::HostSetupProblem problem;
    engine.platform().installDialogs(ui::makeDialogHost("scripted", answers, "", problem));
    run.check(
        "CertDecryptPkcs7 of a DES envelope for Li: the PFX dialog names li.pfx",
        engine.CertDecryptPkcs7(forLi, 0x800) == u"for Li only" && engine.GetErrorCode() == 0);
    engine.platform().installDialogs(nullptr);

    const std::u16string mobile =
        engine.ExportMobileFromPfx(toWide(folder), u"li.pfx", u"lipass12", 0, 0);
    ByteBuffer cipher;
    const bool exported = engine.GetErrorCode() == 0 && cipher.base64Decode(toAnsi(mobile));
    if (exported) {
        std::ofstream(folder + "li.mobile", std::ios::binary)
            .write(reinterpret_cast<const char*>(cipher.data()), cipher.length());
    }
    run.check(
        "ExportMobileFromPfx of li.pfx: " + std::to_string(mobile.size()) + " Base64 characters",
        exported);
    if (!exported) return;
    // openssl enc opens it with the record key: SHA-1 of the password, then "QUVO".
    std::string keyHex;
    if (std::optional<std::array<std::uint8_t, 24>> key = mobileRecordKey("lipass12")) {
        static const char kDigits[] = "0123456789abcdef";
        for (std::uint8_t byte : *key) keyHex += {kDigits[byte >> 4], kDigits[byte & 15]};
    }
    const bool opened =
        runProgram({"openssl", "enc", "-d", "-des-ede3-cbc", "-K", keyHex, "-iv",
                    "0000000000000000", "-in", folder + "li.mobile", "-out", folder + "li.record"});
    const platform::Bytes record = readFile(folder + "li.record");
    run.check(
        "openssl enc -d -des-ede3-cbc opens it: " + std::to_string(record.size()) +
            " bytes beginning \"QUVO\"",
        opened && record.size() > 4 && std::string(record.begin(), record.begin() + 4) == "QUVO");
}

}  // namespace pennaform::cli
