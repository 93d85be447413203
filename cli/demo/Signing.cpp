// The demo's signatures: Wang, chosen from the personal store, signs a text
// with PKCS#1 and as PKCS#7 SignedData (attached, detached, with signed
// attributes, with the chain), and the openssl command verifies each one.
#include "cli/demo/DemoAreas.h"

#include <fstream>
#include <string>
#include <vector>

#include "encoding/ByteBuffer.h"
#include "platform/CodePage.h"

namespace pennaform::cli {
namespace {

constexpr std::int32_t kProcessCodePageText = 0x800;
constexpr std::int32_t kStoreOnly = 0x100;

void writeBytes(const std::string& path, const std::uint8_t* data, std::int32_t length) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), length);
}

// decodedInto: `text` (hex or Base64) decoded into the file at `path`.
bool decodedInto(const std::u16string& text, bool hex, const std::string& path) {
    ByteBuffer bytes;
    const std::string ansi = toAnsi(text);
    if (text.empty() || !(hex ? bytes.hexDecode(ansi) : bytes.base64Decode(ansi))) return false;
    writeBytes(path, bytes.data(), bytes.length());
    return true;
}

}  // namespace

void demoSigning(DemoContext& demo) {
    DemoRun& run = demo.run;
    Engine& engine = demo.engine;
    const std::string folder = demo.home + "/certificates/";
    const std::string content = "Pennaform demo: the contract Wang signs";
    std::ofstream(folder + "content.txt", std::ios::binary) << content;
    const std::u16string text = toWide(content);

    run.call("choose Wang from the personal store to sign", "SelectSigner",
             {std::u16string(u"S_C=TW,S_O=Example Bank,S_OU=Retail,S_CN=Wang"), kStoreOnly,
              std::int32_t(0)},
             "0", 0);
    const bool keyOut = runProgram({"openssl", "x509", "-inform", "DER", "-in", folder + "wang.der",
                                    "-pubkey", "-noout", "-out", folder + "wang.pub"}) &&
                        runProgram({"openssl", "x509", "-inform", "DER", "-in", folder + "root.der",
                                    "-out", folder + "root.pem"});
    run.check("openssl took Wang's public key and the root from their certificates", keyOut);
    // The chain ends at a trusted root: the demo's root goes to "ROOT".
    run.check("the test CA put the demo's root into \"ROOT\"",
              runTestCa({"install", "--home", demo.home, "--store", "ROOT", "--cert",
                         folder + "root.der"}));

    const std::u16string pkcs1 = engine.SignPkcs1(text, kProcessCodePageText);
    const bool pkcs1Written = decodedInto(pkcs1, true, folder + "content.sig");
    // The digest is SHA-256 where the provider offers SHA-2, else SHA-1.
    std::string verdict = "not verified";
    for (const char* digest : {"-sha256", "-sha1"}) {
        if (pkcs1Written &&
            runProgram({"openssl", "dgst", digest, "-verify", folder + "wang.pub", "-signature",
                        folder + "content.sig", folder + "content.txt"})) {
            verdict = std::string("openssl dgst ") + digest + " -verify: Verified OK";
            break;
        }
    }
    run.check("SignPkcs1: " + std::to_string(pkcs1.size()) + " hex characters; " + verdict,
              verdict != "not verified");

    struct SignedDataCase {
        const char* name;
        std::int32_t flags;
        bool detached;
    };
    const SignedDataCase cases[] = {
        {"attached", 0, false},
        {"detached (0x400)", 0x400, true},
        {"with signed attributes (0x2000)", 0x2000, false},
        {"with the chain (0x200)", 0x200, false},
    };
    for (const SignedDataCase& c : cases) {
        const std::u16string signedData = engine.SignPkcs7(text, c.flags | kProcessCodePageText);
        const std::string file = folder + "content.p7s";
        std::vector<std::string> verify{
            "openssl", "cms", "-verify", "-binary",           "-inform", "DER",
            "-in",     file,  "-CAfile", folder + "root.pem", "-out",    "/dev/null"};
        if (c.detached) {
            verify.push_back("-content");
            verify.push_back(folder + "content.txt");
        }
        const bool verified = decodedInto(signedData, false, file) && runProgram(verify);
        run.check(std::string("SignPkcs7 ") + c.name + ": openssl cms -verify " +
                      (verified ? "says Verification successful" : "refuses it"),
                  verified);
    }
}

}  // namespace pennaform::cli
