// The PFX operations through the Engine: files of other tools imported,
// the order of refusals, password changes that lose nothing and follow
// links, exports that other tools read and that stay in their folder.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "pfx/PfxOperationsSupport.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "signing/SignerPort.h"
#include "ui/hosts/DialogHostFactory.h"

namespace pennaform::test {
namespace {

namespace fs = std::filesystem;
using platform::Bytes;

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

bool certtoolReads(const std::string& path, const std::string& password, std::string* out) {
    auto info =
        runProcess({"certtool", "--p12-info", "--inder", "--password", password, "--infile", path});
    *out = info.out;
    return info.exitStatus == 0;
}

TEST_F(PfxOperationsTest, FilesOfOtherToolsAreQueriedWithoutKeysAndImportedWithThem) {
    std::string fixtures = std::string(PENNAFORM_TEST_DATA) + "/pkcs12";
    int imported = 0;
    for (const char* name : {"windows.p12", "nss.p12", "openssl.p12"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(engine_.QueryPfxInfo(u(fixtures), u(name), u"foo", 0, 0), 0);
        EXPECT_FALSE(engine_.signer().signerCertBytes.empty());
        EXPECT_EQ(engine_.signer().signerCertFileName, name);
        EXPECT_LE(containerCount(), imported);  // the look leaves no key
        EXPECT_EQ(engine_.ImportPfxToIE(u(fixtures), u(name), u"foo", 1, 0), 0);
        ++imported;
        EXPECT_EQ(containerCount(), imported);
        EXPECT_EQ(engine_.GetImportedPfxFileName(), u(name));
        EXPECT_EQ(engine_.GetImportedPfxFilePath(), u(fixtures));
        EXPECT_EQ(engine_.ImportPfxToIE(u(fixtures), u(name), u"bar", 1, 0), 5208);
        EXPECT_EQ(engine_.GetImportedPfxFileName(), u"");
    }
    EXPECT_EQ(engine_.GetIECertCount(), 2);  // nss.p12 holds openssl.p12's certificate
    EXPECT_EQ(engine_.QueryPfxInfo(u(fixtures), u"absent.p12", u"foo", 0, 0), 5902);
}

TEST_F(PfxOperationsTest, AuthoritiesAreSkippedAndTheLastRefusalInFileOrderIsReported) {
    std::string file = folder_.sub("user-first.pfx");
    userPfx(file, "Wang", "pw");
    // User certificate first, then the root: the root's missing key is last.
    EXPECT_EQ(engine_.QueryPfxInfo(u(folder_.path()), u"user-first.pfx", u"pw", 0, 0x08), 5204);
    EXPECT_EQ(engine_.ImportPfxToIE(u(folder_.path()), u"user-first.pfx", u"pw", 1, 0x08), 5204);
    EXPECT_LE(containerCount(), 0);  // the refused import kept no key
    EXPECT_EQ(engine_.GetIECertCount(), 0);
    ASSERT_EQ(engine_.ImportPfxToIE(u(folder_.path()), u"user-first.pfx", u"pw", 1, 0xA0), 0);
    EXPECT_EQ(engine_.GetIECertCount(), 1);  // the root went nowhere
    EXPECT_EQ(containerCount(), 1);
    Bytes user = engine_.signer().signerCertBytes;

    // The root first, then the user certificate, written by this platform.
    platform::Platform& platform = engine_.platform();
    auto personal = std::move(*platform.stores()->openSystemStore(platform::SystemStore::kMy));
    auto memory = std::move(*platform.stores()->openMemoryStore());
    ASSERT_TRUE(
        memory->add(fileBytes(ca_.path("root.der")), {}, platform::AddDisposition::kAlways));
    auto inMy = *personal->certificates();
    ASSERT_TRUE(
        memory->add(user, *personal->properties(inMy[0].id), platform::AddDisposition::kAlways));
    auto written =
        platform.pkcs12()->exportPfx(*memory, u"pw", platform::pfxExportFlags::kExportPrivateKeys);
    ASSERT_TRUE(written);
    ASSERT_TRUE(platform::writeFile(folder_.sub("root-first.pfx"), *written));
    EXPECT_EQ(engine_.QueryPfxInfo(u(folder_.path()), u"root-first.pfx", u"pw", 0, 0x08), 5017);
    EXPECT_EQ(engine_.QueryPfxInfo(u(folder_.path()), u"root-first.pfx", u"pw", 0, 0), 0);
    EXPECT_EQ(engine_.signer().signerCertBytes, user);
    EXPECT_EQ(containerCount(), 1);
}

TEST_F(PfxOperationsTest, ExportsAreReadByOtherToolsAndImportHereAgain) {
    userPfx(folder_.sub("in.pfx"), "Wang", "old");
    std::string withChainRoot;
    ASSERT_EQ(engine_.ImportPfxToIE(u(folder_.path()), u"in.pfx", u"old", 1, 0), 0);
    std::string out = folder_.sub("out");
    ASSERT_EQ(engine_.ExportPfxFromIE(u"", u(out), u"new", 0, 0), 0);
    EXPECT_EQ(engine_.GetExportedPfxFileName(), u"Wang.pfx");
    EXPECT_EQ(engine_.GetExportedPfxFilePath(), u(out));  // its last level was made
    std::string file = out + "/Wang.pfx", info;
    ASSERT_TRUE(opensWith(file, "new", &info)) << info;
    EXPECT_FALSE(opensWith(file, "old"));
    EXPECT_EQ(occurrences(info, "BEGIN CERTIFICATE"), 1u);
    EXPECT_EQ(occurrences(info, "BEGIN PRIVATE KEY"), 1u);
    EXPECT_NE(info.find("AES-256-CBC, Iteration 2048, PRF hmacWithSHA256"), std::string::npos);
    EXPECT_NE(info.find("MAC: sha256, Iteration 2048"), std::string::npos);
    EXPECT_NE(info.find("Microsoft Enhanced"), std::string::npos);  // the key's provider
    std::string gnutls;
    EXPECT_TRUE(certtoolReads(file, "new", &gnutls)) << gnutls;
    EXPECT_NE(gnutls.find("PRIVATE KEY"), std::string::npos);

    Engine other(EngineConfig{folder_.sub("other-home"), false});
    EXPECT_EQ(other.ImportPfxToIE(u(out), u"Wang.pfx", u"new", 0, 0), 0);
    // Imported without flag 1: the key may not leave again.
    std::string again = folder_.sub("again");
    EXPECT_EQ(other.ExportPfxFromIE(u"", u(again), u"x", 0x1000, 0), 5205);
    EXPECT_FALSE(fs::exists(again));
    EXPECT_EQ(other.GetExportedPfxFileName(), u"");
    EXPECT_EQ(other.GetIECertCount(), 1);  // still in "MY"
}

TEST_F(PfxOperationsTest, ExportNamesFoldersAndDeletionFollowTheRules) {
    userPfx(folder_.sub("in.pfx"), "a\\/..\\/..\\/b", "pw");
    ASSERT_EQ(engine_.ImportPfxToIE(u(folder_.path()), u"in.pfx", u"pw", 1, 0), 0);
    std::string out = folder_.sub("out");
    struct Case {
        const char* prefix;
        const char* written;
    };
    for (Case c :
         {Case{"", "a_.._.._b.pfx"}, Case{"backup", "backup.pfx"}, Case{"Backup.PFX", "Backup.PFX"},
          Case{"a.pfx.old", "a.pfx.old"}, Case{"../x", ".._x.pfx"}}) {
        SCOPED_TRACE(c.prefix);
        engine_.SetDefaultPfxFileName(u(c.prefix));
        ASSERT_EQ(engine_.ExportPfxFromIE(u"", u(out), u"pw", 0, 0), 0);
        EXPECT_EQ(engine_.GetExportedPfxFileName(), u(c.written));
        EXPECT_TRUE(fs::is_regular_file(out + "/" + c.written));
    }
    std::size_t writtenHere = 0;
    for (const auto& entry : fs::directory_iterator(folder_.path()))
        writtenHere += entry.is_regular_file();
    EXPECT_EQ(writtenHere, 1u);  // in.pfx only: nothing left the chosen folder

    std::ofstream(folder_.sub("plain")) << "a file";
    for (std::string folder : {folder_.sub("missing/sub"), folder_.sub("plain")}) {
        EXPECT_EQ(engine_.ExportPfxFromIE(u"", u(folder), u"pw", 0x1000, 0), 1001);
        EXPECT_EQ(engine_.GetExportedPfxFilePath(), u"");
        EXPECT_EQ(engine_.GetIECertCount(), 1);
    }
    ASSERT_EQ(engine_.ExportPfxFromIE(u"", u(out), u"pw", 0x1000, 0), 0);
    EXPECT_EQ(engine_.GetIECertCount(), 0);  // gone from "MY" once written
    EXPECT_EQ(containerCount(), 1);          // its key stays
    EXPECT_EQ(engine_.ExportPfxFromIE(u"", u(out), u"pw", 0, 0), 5010);
}

TEST_F(PfxOperationsTest, ACancelledPickerWritesNothing) {
    userPfx(folder_.sub("one.pfx"), "One", "pw");
    ASSERT_EQ(engine_.ImportPfxToIE(u(folder_.path()), u"one.pfx", u"pw", 1, 0), 0);
    userPfx(folder_.sub("two.pfx"), "Two", "pw");
    ASSERT_EQ(engine_.ImportPfxToIE(u(folder_.path()), u"two.pfx", u"pw", 1, 0), 0);
    std::ofstream(folder_.sub("answers.json")) << R"([{"dialog": 204, "actions": [{"press": 2}]}])";
    ui::HostSetupProblem problem;
    engine_.platform().installDialogs(
        ui::makeDialogHost("scripted", folder_.sub("answers.json"), "", problem));
    std::string out = folder_.sub("out");
    EXPECT_EQ(engine_.ExportPfxFromIE(u"", u(out), u"pw", 0, 0), 5070);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(engine_.GetExportedPfxFileName(), u"");
}

TEST_F(PfxOperationsTest, TheChainIsExportedOnceWithATrustedRoot) {
    userPfx(folder_.sub("in.pfx"), "Wang", "pw");
    ASSERT_EQ(engine_.ImportPfxToIE(u(folder_.path()), u"in.pfx", u"pw", 1, 0), 0);
    platform::Platform& platform = engine_.platform();
    auto roots = std::move(*platform.stores()->openSystemStore(platform::SystemStore::kRoot));
    ASSERT_TRUE(roots->add(fileBytes(ca_.path("root.der")), {}, platform::AddDisposition::kAlways));
    std::string out = folder_.sub("out"), info, gnutls;
    ASSERT_EQ(engine_.ExportPfxFromIE(u"", u(out), u"pw", 0x200, 0), 0);
    ASSERT_TRUE(opensWith(out + "/Wang.pfx", "pw", &info)) << info;
    EXPECT_EQ(occurrences(info, "BEGIN CERTIFICATE"), 2u);  // Wang and the root, once each
    EXPECT_EQ(occurrences(info, "BEGIN PRIVATE KEY"), 1u);
    EXPECT_TRUE(certtoolReads(out + "/Wang.pfx", "pw", &gnutls)) << gnutls;
}

TEST_F(PfxOperationsTest, APasswordChangeLosesNothingAndReplacesTheLinkedFile) {
    std::string real = folder_.sub("real.pfx"), link = folder_.sub("link.pfx");
    userPfx(real, "Wang", "old", {"--name", "Wang's key"});
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_symlink(real, link);
    Bytes before = fileBytes(real);
    EXPECT_EQ(engine_.ChangePfxPasswd(u(folder_.path()), u"link.pfx", u"bad", u"new", 0), 5208);
    EXPECT_EQ(fileBytes(real), before);
    ASSERT_EQ(engine_.ChangePfxPasswd(u(folder_.path()), u"link.pfx", u"old", u"new", 0), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    std::string info, gnutls;
    ASSERT_TRUE(opensWith(real, "new", &info)) << info;
    EXPECT_FALSE(opensWith(real, "old"));
    EXPECT_EQ(occurrences(info, "BEGIN CERTIFICATE"), 2u);
    EXPECT_EQ(occurrences(info, "friendlyName: Wang's key"), 2u);
    EXPECT_NE(info.find("AES-256-CBC"), std::string::npos);
    EXPECT_TRUE(certtoolReads(real, "new", &gnutls)) << gnutls;
    struct stat mode {};
    ASSERT_EQ(::stat(real.c_str(), &mode), 0);
    EXPECT_EQ(mode.st_mode & 07777, 0640u);
    EXPECT_EQ(engine_.ChangePfxPasswdEx(u(folder_.path()), u"real.pfx", u"new", u"new", 0, 0), 0);
    EXPECT_TRUE(opensWith(real, "new"));

    // A key that no certificate goes with, and a legacy file.
    auto keyOnly =
        runProcess({"openssl", "pkcs12", "-export", "-nocerts", "-inkey", ca_.path("user.key.pem"),
                    "-out", folder_.sub("key.pfx"), "-passout", "pass:old"});
    ASSERT_EQ(keyOnly.exitStatus, 0) << keyOnly.err;
    ASSERT_EQ(engine_.ChangePfxPasswd(u(folder_.path()), u"key.pfx", u"old", u"new", 0), 0);
    ASSERT_TRUE(opensWith(folder_.sub("key.pfx"), "new", &info)) << info;
    EXPECT_EQ(occurrences(info, "BEGIN PRIVATE KEY"), 1u);
    fs::copy_file(std::string(PENNAFORM_TEST_DATA) + "/pkcs12/openssl.p12",
                  folder_.sub("legacy.p12"));
    ASSERT_EQ(engine_.ChangePfxPasswd(u(folder_.path()), u"legacy.p12", u"foo", u"bar", 0), 0);
    ASSERT_TRUE(opensWith(folder_.sub("legacy.p12"), "bar", &info)) << info;
    EXPECT_NE(info.find("AES-256-CBC"), std::string::npos);

    std::ofstream(folder_.sub("empty.pfx")).flush();
    EXPECT_EQ(engine_.ChangePfxPasswd(u(folder_.path()), u"empty.pfx", u"old", u"new", 0), 5401);
    EXPECT_EQ(fs::file_size(folder_.sub("empty.pfx")), 0u);
    EXPECT_EQ(engine_.ChangePfxPasswd(u(folder_.path()), u"absent.pfx", u"old", u"new", 0), 5902);
}

TEST_F(PfxOperationsTest, ChangePfxPasswdExGivesThePortTheNewPasswordOfTheSameFileOnly) {
    userPfx(folder_.sub("a.pfx"), "Wang", "old");
    std::filesystem::copy_file(folder_.sub("a.pfx"), folder_.sub("b.pfx"));
    std::optional<signing::SignerPort> port =
        signing::openSignerPort(engine_.signer(), engine_.platform());
    ASSERT_TRUE(port);
    SignerState kept;
    kept.signerMedia = signerMedia::kPfxFile;
    kept.signerCertBytes = {0x30, 0x00};
    kept.signerCertHash = std::string(40, 'A');
    kept.signerCertPasswd.assign("old");
    kept.signerCertFilePath = folder_.path();
    kept.signerCertFileName = "a.pfx";
    signing::saveSigner(*port, kept);
    auto portPassword = [&] {
        return std::string(signing::readSavedSigner(*port)->password.view());
    };

    const std::u16string folder = u(folder_.path());
    ASSERT_EQ(engine_.ChangePfxPasswdEx(folder, u"b.pfx", u"old", u"new", 1, 0), 0);
    EXPECT_EQ(portPassword(), "old");  // another file
    ASSERT_EQ(engine_.ChangePfxPasswdEx(folder, u"a.pfx", u"old", u"new", 0, 0), 0);
    EXPECT_EQ(portPassword(), "old");  // no port asked for
    ASSERT_EQ(engine_.ChangePfxPasswdEx(folder, u"a.pfx", u"new", u"newer", 1, 0), 0);
    EXPECT_EQ(portPassword(), "newer");
}

// A missing argument is asked for through the operation's own dialog; what
// the user types there is what the operation then uses, and a cancel there
// is the user's cancel, with nothing changed.
TEST_F(PfxOperationsTest, MissingArgumentsAreAskedForThroughEachOperationsDialog) {
    userPfx(folder_.sub("in.pfx"), "Wang", "password-1");
    const std::string in = folder_.sub("in.pfx");
    const std::string pfxFile = R"({"dialog": 202, "actions": [{"set": 302, "text": ")" + in +
                                R"("}, {"set": 303, "text": "password-1"}, {"press": 1}]})";
    const std::string passwords =
        R"({"dialog": 203, "actions": [{"set": 302, "text": ")" + in +
        R"("}, {"set": 303, "text": "password-1"}, {"set": 304, "text": "password-2"},
            {"set": 305, "text": "password-2"}, {"press": 1}]})";
    // The export's path is not typed: its folder comes from the chooser.
    const std::string target =
        R"({"dialog": 206, "actions": [{"press": 301}, {"set": 303, "text": "password-3"},
            {"set": 304, "text": "password-3"}, {"press": 1}]},
           {"dialog": "folderChooser", "path": ")" +
        folder_.sub("exports") + R"("})";
    struct Case {
        const char* name;
        std::string answer;
        std::function<std::int32_t()> call;
        std::int32_t code;
        std::function<bool()> after;
    };
    const std::vector<Case> cases = {
        {"query, no folder: 202 cancelled", R"({"dialog": 202, "actions": [{"press": 2}]})",
         [&] { return engine_.QueryPfxInfo(u"", u"in.pfx", u"password-1", 0, 0); }, 5070,
         [&] { return engine_.signer().signerCertBytes.empty(); }},
        {"query, no password: 202 answered", pfxFile,
         [&] { return engine_.QueryPfxInfo(u(folder_.path()), u"in.pfx", u"", 0, 0); }, 0,
         [&] { return !engine_.signer().signerCertBytes.empty(); }},
        {"import, nothing given: 202 answered", pfxFile,
         [&] { return engine_.ImportPfxToIE(u"", u"", u"", 1, 0); }, 0,
         [&] { return engine_.GetIECertCount() == 1; }},
        {"change, no passwords: 203 cancelled", R"({"dialog": 203, "actions": [{"press": 2}]})",
         [&] { return engine_.ChangePfxPasswd(u(folder_.path()), u"in.pfx", u"", u"", 0); }, 5070,
         [&] {
             return engine_.QueryPfxInfo(u(folder_.path()), u"in.pfx", u"password-1", 0, 0) == 0;
         }},
        {"change, no passwords: 203 answered", passwords,
         [&] { return engine_.ChangePfxPasswd(u(folder_.path()), u"in.pfx", u"", u"", 0); }, 0,
         [&] {
             return engine_.QueryPfxInfo(u(folder_.path()), u"in.pfx", u"password-2", 0, 0) == 0;
         }},
        {"export, no target: 206 cancelled", R"({"dialog": 206, "actions": [{"press": 2}]})",
         [&] { return engine_.ExportPfxFromIE(u"", u"", u"", 0, 0); }, 5070,
         [&] {
             return !fs::exists(folder_.sub("exports")) && engine_.GetExportedPfxFilePath().empty();
         }},
        {"export, no target: 206 answered", target,
         [&] { return engine_.ExportPfxFromIE(u"", u"", u"", 0, 0); }, 0,
         [&] {
             return engine_.QueryPfxInfo(u(folder_.sub("exports")), u"Wang.pfx", u"password-3", 0,
                                         0) == 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(folder_.sub("answers.json")) << "[" << c.answer << "]";
        ui::HostSetupProblem problem;
        engine_.platform().installDialogs(
            ui::makeDialogHost("scripted", folder_.sub("answers.json"), "", problem));
        EXPECT_EQ(c.call(), c.code);
        engine_.platform().installDialogs(nullptr);
        EXPECT_TRUE(c.after());
    }
}

// A user-protected key asks before it leaves; a refusal is the user's
// cancel, 5070 with the platform's ERROR_CANCELLED, and leaves the file
// unwritten and the certificate in "MY" even when 0x1000 asked to move it.
TEST_F(PfxOperationsTest, ARefusedPromptOfAProtectedKeyCancelsTheExport) {
    userPfx(folder_.sub("in.pfx"), "Wang", "pw");
    auto answering = [&](bool allow) {
        std::ofstream(folder_.sub("answers.json"))
            << R"([{"dialog": "keyUse", "allow": )" << (allow ? "true" : "false") << "}]";
        ui::HostSetupProblem problem;
        engine_.platform().installDialogs(
            ui::makeDialogHost("scripted", folder_.sub("answers.json"), "", problem));
    };
    answering(true);
    ASSERT_EQ(engine_.ImportPfxToIE(u(folder_.path()), u"in.pfx", u"pw", 1 | 2, 0), 0);
    answering(false);
    const std::string out = folder_.sub("out");
    EXPECT_EQ(engine_.ExportPfxFromIE(u"", u(out), u"pw", 0x1000, 0), 5070);
    EXPECT_EQ(std::uint32_t(engine_.GetCapiErrorCode()), platform::errors::kErrorCancelled);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(engine_.GetExportedPfxFilePath(), u"");
    EXPECT_EQ(engine_.GetIECertCount(), 1);
    answering(true);
    ASSERT_EQ(engine_.ExportPfxFromIE(u"", u(out), u"pw", 0, 0), 0);
    EXPECT_TRUE(fs::exists(out + "/Wang.pfx"));
}

}  // namespace
}  // namespace pennaform::test
