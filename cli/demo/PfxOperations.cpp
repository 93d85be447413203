// The demo's PFX steps: a PFX file of the test CA looked into and imported,
// its password changed, the certificate exported again with its chain, and
// both files read by `openssl pkcs12` with their new passwords.
#include <filesystem>

#include "cli/demo/DemoAreas.h"
#include "platform/CodePage.h"

namespace pennaform::cli {
namespace {

// opensslReads: whether `openssl pkcs12` verifies and decrypts the whole
// file with `password`.
bool opensslReads(const std::string& path, const std::string& password) {
    return runProgram(
        {"openssl", "pkcs12", "-in", path, "-passin", "pass:" + password, "-nodes", "-noout"});
}

}  // namespace

void demoPfxOperations(DemoContext& demo) {
    DemoRun& run = demo.run;
    const std::string folder = demo.home + "/pfx";
    std::filesystem::create_directories(folder);
    auto file = [&](const std::string& name) { return folder + "/" + name; };
    auto wide = [](const std::string& text) { return toWide(text); };
    const std::int32_t zero = 0;
    const bool made =
        runTestCa({"cert", "--ca", "--subject", "/C=TW/O=Pennaform Demo/CN=Demo PFX Root", "--out",
                   file("root.der"), "--key-out", file("root.key")}) &&
        runTestCa({"cert", "--subject", "/C=TW/O=Example Bank/CN=Chen Pei-Yu", "--out",
                   file("chen.der"), "--key-out", file("chen.key"), "--issuer-cert",
                   file("root.der"), "--issuer-key", file("root.key")}) &&
        runTestCa({"pfx", "--out", file("chen.pfx"), "--cert", file("chen.der"), "--key",
                   file("chen.key"), "--chain", file("root.der"), "--password", "old-secret",
                   "--encryption", "legacy"}) &&
        runTestCa({"install", "--home", demo.home, "--store", "ROOT", "--cert", file("root.der")});
    run.check("the test CA made chen.pfx (legacy 3DES and RC2) and trusts its root", made);
    if (!made) return;

    run.call("look into the file", "QueryPfxInfo",
             {wide(folder), u"chen.pfx", u"old-secret", zero, zero}, "0", 0);
    run.call("a wrong password", "QueryPfxInfo", {wide(folder), u"chen.pfx", u"wrong", zero, zero},
             "5208", 5208);
    run.call("import it into the personal store, the key exportable", "ImportPfxToIE",
             {wide(folder), u"chen.pfx", u"old-secret", std::int32_t(1), zero}, "0", 0);
    run.call("the file imported", "GetImportedPfxFileName", {}, "chen.pfx", 0);
    run.call("give the file a new password", "ChangePfxPasswd",
             {wide(folder), u"chen.pfx", u"old-secret", u"new-secret", zero}, "0", 0);
    run.call("the old password no longer opens it", "QueryPfxInfo",
             {wide(folder), u"chen.pfx", u"old-secret", zero, zero}, "5208", 5208);
    run.check("openssl pkcs12 reads chen.pfx with the new password (AES-256, SHA-256 MAC)",
              opensslReads(file("chen.pfx"), "new-secret"));
    run.call("export the certificate again with its chain", "ExportPfxFromIE",
             {u"S_CN=Chen", toWide(file("exported")), u"export-secret", std::int32_t(0x08 | 0x200),
              std::int32_t(0)},
             "0", 0);
    run.call("the file exported", "GetExportedPfxFileName", {}, "Chen Pei-Yu.pfx", 0);
    run.check("openssl pkcs12 reads the exported file with its password",
              opensslReads(file("exported/Chen Pei-Yu.pfx"), "export-secret"));
}

}  // namespace pennaform::cli
