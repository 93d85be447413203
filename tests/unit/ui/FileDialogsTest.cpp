// The file and password dialogs driven the way a user drives them: typing
// into fields and pressing buttons, with what is enabled and which message
// box appears checked on the way, and what the ask operations hand back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "RecordingHost.h"
#include "ui/DialogOperations.h"
#include "ui/dialogs/ChangePasswordDialog.h"
#include "ui/dialogs/ExportTargetDialog.h"
#include "ui/dialogs/PasswordDialog.h"
#include "ui/dialogs/PfxFileDialog.h"
#include "ui/dialogs/PfxSourceDialog.h"

namespace pennaform::test {
namespace {

using platform::DialogEnd;
using platform::kIdCancel;
using platform::kIdOk;
using ui::PasswordRange;

constexpr const char* kCaption = "錯誤訊息";

// ---- dialog 202 -------------------------------------------------------------

TEST(PfxFileDialog, DefaultNameShownAndAMissingFileKeepsTheDialogOpen) {
    RecordingHost host;
    std::string folder = "/srv/no-such-certs", name, password;
    host.user = [&](platform::ModalDialog& dialog) {
        EXPECT_EQ(dialog.templateId(), 202);
        EXPECT_EQ(dialog.title(), "輸入憑證檔案資訊");
        EXPECT_EQ(control(dialog, 302).text, "/srv/no-such-certs/*.pfx");
        EXPECT_EQ(control(dialog, 303).text, "");
        EXPECT_TRUE(control(dialog, 303).enabled);
        EXPECT_TRUE(control(dialog, 303).secret);
        EXPECT_TRUE(control(dialog, kIdOk).enabled);  // minimum 0
        EXPECT_TRUE(dialog.press(kIdOk, host));
        EXPECT_FALSE(dialog.end());
        dialog.closeWindow();
    };
    EXPECT_EQ(ui::askPfxFile(host, folder, name, password, 0, 16), 5070);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, kCaption);
    EXPECT_EQ(host.messages[0].text, "憑證檔(/srv/no-such-certs/*.pfx) : 錯誤或不存在");
    // The default name stays in the caller's variable after a cancel.
    EXPECT_EQ(folder, "/srv/no-such-certs");
    EXPECT_EQ(name, "*.pfx");
    EXPECT_EQ(password, "");
}

TEST(PfxFileDialog, AnEmptyPathIsReportedAsUnspecified) {
    RecordingHost host;
    ui::PfxFileDialog dialog("", "a.pfx", "", PasswordRange());
    EXPECT_EQ(dialog.text(302), "");  // no folder, no path shown
    EXPECT_TRUE(dialog.press(kIdOk, host));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "憑證檔(未指定) : 錯誤或不存在");
}

TEST(PfxFileDialog, ASuppliedPasswordLocksOnlyWhenLongEnough) {
    ui::PfxFileDialog locked("/c", "a.pfx", "secret", PasswordRange::normalised(6, 10));
    EXPECT_EQ(locked.text(303), "secret");
    EXPECT_FALSE(locked.isEnabled(303));
    EXPECT_FALSE(locked.typeText(303, "other"));
    EXPECT_TRUE(locked.isEnabled(kIdOk));

    ui::PfxFileDialog open("/c", "a.pfx", "secret", PasswordRange::normalised(8, 10));
    EXPECT_TRUE(open.isEnabled(303));
    EXPECT_FALSE(open.isEnabled(kIdOk));
    RecordingHost host;
    EXPECT_FALSE(open.press(kIdOk, host));  // a disabled button does nothing
    EXPECT_TRUE(open.typeText(303, "secret1"));
    EXPECT_FALSE(open.isEnabled(kIdOk));
    EXPECT_TRUE(open.typeText(303, "secret12"));
    EXPECT_TRUE(open.isEnabled(kIdOk));
    // The maximum limits what is typed.
    EXPECT_TRUE(open.typeText(303, "secret12345678"));
    EXPECT_EQ(open.text(303), "secret1234");
}

TEST(PfxFileDialog, TheTypingLimitKeepsWholeCharacters) {
    ui::PfxFileDialog dialog("/c", "a.pfx", "", PasswordRange::normalised(0, 4));
    EXPECT_TRUE(dialog.typeText(303, "ab密碼"));  // 2 + 3 + 3 bytes in UTF-8
    EXPECT_EQ(dialog.text(303), "ab");
}

TEST(PfxFileDialog, ATypedPathThatExistsIsSplitOnOk) {
    TemporaryFolder folder;
    std::filesystem::create_directories(folder.path() + "/dir/sub");
    std::string deep = folder.file("dir/sub/b.p12", "x");
    RecordingHost host;
    std::string dir = "/elsewhere", name = "x.pfx", password;
    host.user = [&](platform::ModalDialog& dialog) {
        EXPECT_TRUE(dialog.typeText(302, deep));
        EXPECT_TRUE(dialog.typeText(303, "pw"));
        dialog.press(kIdOk, host);
    };
    EXPECT_EQ(ui::askPfxFile(host, dir, name, password, 0, 16), 0);
    EXPECT_EQ(dir, folder.path() + "/dir/sub");
    EXPECT_EQ(name, "b.p12");
    EXPECT_EQ(password, "pw");

    // Directly under the root the folder is "/".
    host.user = [&](platform::ModalDialog& dialog) {
        dialog.typeText(302, "/tmp");
        dialog.press(kIdOk, host);
    };
    EXPECT_EQ(ui::askPfxFile(host, dir, name, password, 0, 16), 0);
    EXPECT_EQ(dir, "/");
    EXPECT_EQ(name, "tmp");
    EXPECT_TRUE(host.messages.empty());
}

TEST(PfxFileDialog, BrowseShowsTheChoiceButKeepsTheModelUntilOk) {
    TemporaryFolder folder;
    std::string chosen = folder.file("chosen.pfx", "x");
    RecordingHost host;
    ui::PfxFileDialog dialog("/start", "a.pfx", "", PasswordRange());
    host.fileAnswer = std::nullopt;
    EXPECT_TRUE(dialog.press(301, host));  // cancelled chooser: nothing changes
    EXPECT_EQ(dialog.text(302), "/start/a.pfx");
    host.fileAnswer = chosen;
    EXPECT_TRUE(dialog.press(301, host));
    EXPECT_EQ(dialog.text(302), chosen);
    EXPECT_EQ(dialog.folder(), "/start");
    ASSERT_EQ(host.fileRequests.size(), 2u);
    const platform::FileChooserRequest& request = host.fileRequests[1];
    EXPECT_EQ(request.title, "選擇憑證檔案");
    EXPECT_EQ(request.initialFolder, "/start");
    ASSERT_EQ(request.filters.size(), 2u);
    EXPECT_EQ(request.filters[0].description, "PFX Files (*.pfx;*.p12)");
    EXPECT_EQ(request.filters[0].patterns, "*.pfx; *.p12");
    EXPECT_EQ(request.filters[1].description, "All Files (*.*)");
    EXPECT_EQ(request.filters[1].patterns, "*.*");
    EXPECT_TRUE(dialog.press(kIdOk, host));
    EXPECT_EQ(dialog.end(), DialogEnd::kOk);
    EXPECT_EQ(dialog.folder(), folder.path());
    EXPECT_EQ(dialog.name(), "chosen.pfx");
}

// ---- dialog 203 -------------------------------------------------------------

TEST(ChangePasswordDialog, OkWaitsForAllThreePasswords) {
    ui::ChangePasswordDialog dialog("/no/such", "a.pfx", "", "", "", PasswordRange());
    EXPECT_EQ(dialog.text(306), "請設定憑證密碼(英文或數字1～16碼)");
    EXPECT_TRUE(dialog.isEnabled(301));  // the shown path does not exist
    EXPECT_FALSE(dialog.isEnabled(kIdOk));
    dialog.typeText(303, "old");
    dialog.typeText(304, "new");
    EXPECT_FALSE(dialog.isEnabled(kIdOk));
    dialog.typeText(305, "new");
    EXPECT_TRUE(dialog.isEnabled(kIdOk));
    dialog.typeText(304, "");
    EXPECT_FALSE(dialog.isEnabled(kIdOk));
    EXPECT_FALSE(dialog.typeText(302, "/typed"));  // the path is read-only
}

TEST(ChangePasswordDialog, AnExistingFileDisablesBrowsingAndFinalPasswords) {
    TemporaryFolder folder;
    folder.file("a.pfx", "x");
    ui::ChangePasswordDialog dialog(folder.path(), "a.pfx", "oldpw", "new", "new",
                                    PasswordRange::normalised(4, 8));
    EXPECT_FALSE(dialog.isEnabled(301));
    EXPECT_EQ(dialog.text(306), "請設定憑證密碼(英文或數字4～8碼)");
    EXPECT_FALSE(dialog.isEnabled(303));  // long enough: final
    EXPECT_TRUE(dialog.isEnabled(304));   // shorter than the minimum: still editable
    EXPECT_TRUE(dialog.isEnabled(305));
    EXPECT_FALSE(dialog.isEnabled(kIdOk));
}

TEST(ChangePasswordDialog, ADifferingConfirmationCloses5209AndKeepsTheNewPassword) {
    TemporaryFolder folder;
    std::string file = folder.file("a.pfx", "x");
    RecordingHost host;
    host.fileAnswer = file;
    std::string dir, name, oldPassword, newPassword = "";
    host.user = [&](platform::ModalDialog& dialog) {
        EXPECT_EQ(control(dialog, 302).text, "");
        dialog.press(301, host);
        EXPECT_EQ(control(dialog, 302).text, file);
        dialog.typeText(303, "old");
        dialog.typeText(304, "new-one");
        dialog.typeText(305, "new-two");
        dialog.press(kIdOk, host);
        EXPECT_EQ(dialog.end(), DialogEnd::kOk);  // the dialog does not compare them
    };
    EXPECT_EQ(ui::askPasswordChange(host, dir, name, oldPassword, newPassword, 0, 16), 5209);
    EXPECT_EQ(dir, folder.path());
    EXPECT_EQ(name, "a.pfx");
    EXPECT_EQ(oldPassword, "old");
    EXPECT_EQ(newPassword, "");
    EXPECT_TRUE(host.messages.empty());

    host.fileAnswer.reset();
    host.user = [&](platform::ModalDialog& dialog) {
        dialog.typeText(303, "old");
        dialog.typeText(304, "fresh");
        dialog.typeText(305, "fresh");
        dialog.press(kIdOk, host);
    };
    EXPECT_EQ(ui::askPasswordChange(host, dir, name, oldPassword, newPassword, 0, 16), 0);
    EXPECT_EQ(newPassword, "fresh");
}

TEST(ChangePasswordDialog, AMissingFileIsReportedAndCancelLeavesTheCallerAlone) {
    RecordingHost host;
    std::string dir = "/no/such", name, oldPassword = "o", newPassword = "n";
    host.user = [&](platform::ModalDialog& dialog) {
        dialog.press(kIdOk, host);  // all three passwords given: enabled
        EXPECT_FALSE(dialog.end());
        dialog.press(kIdCancel, host);
    };
    EXPECT_EQ(ui::askPasswordChange(host, dir, name, oldPassword, newPassword, 0, 16), 5070);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "憑證檔(/no/such/*.pfx) : 錯誤或不存在");
    EXPECT_EQ(dir, "/no/such");
    EXPECT_EQ(name, "*.pfx");
    EXPECT_EQ(oldPassword, "o");
    EXPECT_EQ(newPassword, "n");
}

// ---- dialog 205 -------------------------------------------------------------

TEST(PasswordDialog, AcceptsAnEmptyPasswordAndLimitsNothing) {
    RecordingHost host;
    std::string password = "before";
    host.user = [&](platform::ModalDialog& dialog) {
        EXPECT_EQ(dialog.templateId(), 205);
        EXPECT_EQ(dialog.title(), "輸入憑證檔密碼");
        EXPECT_TRUE(control(dialog, kIdOk).enabled);
        dialog.press(kIdOk, host);
    };
    EXPECT_EQ(ui::askPassword(host, password), 0);
    EXPECT_EQ(password, "");

    std::string longPassword(40, 'p');
    host.user = [&](platform::ModalDialog& dialog) {
        dialog.typeText(303, longPassword);
        dialog.press(kIdOk, host);
    };
    EXPECT_EQ(ui::askPassword(host, password), 0);
    EXPECT_EQ(password, longPassword);

    host.user = [&](platform::ModalDialog& dialog) {
        dialog.typeText(303, "typed");
        dialog.closeWindow();
    };
    EXPECT_EQ(ui::askPassword(host, password), 5070);
    EXPECT_EQ(password, longPassword);
}

// ---- dialog 206 -------------------------------------------------------------

TEST(ExportTargetDialog, DifferentPasswordsKeepTheDialogOpen) {
    TemporaryFolder folder;
    ui::ExportTargetDialog dialog(folder.path(), "me.pfx", "", PasswordRange::normalised(6, 10));
    EXPECT_EQ(dialog.text(306), "請設定憑證密碼(英文或數字6～10碼)");
    EXPECT_EQ(dialog.text(302), folder.path() + "/me.pfx");
    EXPECT_FALSE(dialog.isEnabled(kIdOk));
    dialog.typeText(303, "abcdef");
    EXPECT_FALSE(dialog.isEnabled(kIdOk));
    dialog.typeText(304, "abcdeg");
    EXPECT_TRUE(dialog.isEnabled(kIdOk));
    RecordingHost host;
    EXPECT_TRUE(dialog.press(kIdOk, host));
    EXPECT_FALSE(dialog.end());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, kCaption);
    EXPECT_EQ(host.messages[0].text, "密碼不一致");
    EXPECT_EQ(dialog.text(303), "abcdef");  // the fields stay as typed
    dialog.typeText(304, "abcdef");
    EXPECT_TRUE(dialog.press(kIdOk, host));
    EXPECT_EQ(dialog.end(), DialogEnd::kOk);
}

TEST(ExportTargetDialog, CreatesAMissingFolderWhoseParentExists) {
    TemporaryFolder parent;
    std::string folder = parent.path() + "/exports";
    RecordingHost host;
    std::string dir = folder, name, password = "secret";
    host.user = [&](platform::ModalDialog& dialog) {
        EXPECT_EQ(control(dialog, 303).text, "secret");  // both fields show it
        EXPECT_EQ(control(dialog, 304).text, "secret");
        dialog.press(kIdOk, host);
    };
    EXPECT_EQ(ui::askExportTarget(host, dir, name, password, 0, 16), 0);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::is_empty(folder));  // the probe left nothing
    EXPECT_EQ(dir, folder);
    EXPECT_EQ(name, "*.pfx");
    EXPECT_EQ(password, "secret");
    EXPECT_TRUE(host.messages.empty());
}

TEST(ExportTargetDialog, UnusableFoldersAreReported) {
    TemporaryFolder parent;
    auto messageFor = [](const std::string& folder) {
        RecordingHost host;
        ui::ExportTargetDialog dialog(folder, "me.pfx", "pw", PasswordRange());
        dialog.press(kIdOk, host);
        EXPECT_FALSE(dialog.end()) << folder;
        return host.messages.empty() ? std::string() : host.messages[0].text;
    };
    EXPECT_EQ(messageFor(""), "憑證目錄 (未指定) : 錯誤或沒有寫入權限");
    std::string deep = parent.path() + "/a/b";
    EXPECT_EQ(messageFor(deep), "憑證目錄 (" + deep + ") : 錯誤或沒有寫入權限");
    EXPECT_FALSE(std::filesystem::exists(deep));
    EXPECT_EQ(messageFor("/proc"), "憑證目錄 (/proc) : 錯誤或沒有寫入權限");
    // The export path names a folder.
    std::filesystem::create_directory(parent.path() + "/me.pfx");
    EXPECT_EQ(messageFor(parent.path()), "憑證目錄 (" + parent.path() + ") : 錯誤或沒有寫入權限");
}

TEST(ExportTargetDialog, AFileAtTheExportPathSurvivesTheProbe) {
    TemporaryFolder folder;
    std::string existing = folder.file("me.pfx", "earlier export");
    RecordingHost host;
    std::string dir = folder.path(), name = "me.pfx", password = "pw";
    host.user = [&](platform::ModalDialog& dialog) { dialog.press(kIdOk, host); };
    EXPECT_EQ(ui::askExportTarget(host, dir, name, password, 0, 16), 0);
    std::ifstream in(existing, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "earlier export");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(ExportTargetDialog, BrowseChoosesTheFolderAndKeepsTheName) {
    RecordingHost host;
    ui::ExportTargetDialog dialog("", "me.pfx", "", PasswordRange());
    EXPECT_EQ(dialog.text(302), "");
    host.folderAnswer = "/chosen/place";
    dialog.press(301, host);
    ASSERT_EQ(host.folderTitles.size(), 1u);
    EXPECT_EQ(host.folderTitles[0], "選擇憑證檔案儲存路徑 :");
    EXPECT_EQ(dialog.text(302), "/chosen/place/me.pfx");
    EXPECT_EQ(dialog.folder(), "/chosen/place");
    dialog.press(kIdCancel, host);
    EXPECT_EQ(dialog.end(), DialogEnd::kCancel);
    EXPECT_EQ(dialog.name(), "");
}

// ---- dialog 207 -------------------------------------------------------------

TEST(PfxSourceDialog, BrowsesWithoutAnInitialFolderAndChecksTheFile) {
    TemporaryFolder folder;
    std::string file = folder.file("src.pfx", "x");
    RecordingHost host;
    std::string dir = "/missing", name = "gone.pfx", password = "pw";
    host.user = [&](platform::ModalDialog& dialog) {
        EXPECT_EQ(dialog.templateId(), 207);
        EXPECT_TRUE(control(dialog, 303).enabled);  // a supplied password stays editable
        EXPECT_TRUE(control(dialog, 302).readOnly);
        dialog.press(kIdOk, host);
        EXPECT_FALSE(dialog.end());
        host.fileAnswer = file;
        dialog.press(301, host);
        dialog.press(kIdOk, host);
    };
    EXPECT_EQ(ui::askPfxSource(host, dir, name, password, 0, 16), 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "憑證檔(/missing/gone.pfx) : 錯誤或不存在");
    ASSERT_EQ(host.fileRequests.size(), 1u);
    EXPECT_EQ(host.fileRequests[0].initialFolder, "");
    EXPECT_EQ(dir, folder.path());
    EXPECT_EQ(name, "src.pfx");
    EXPECT_EQ(password, "pw");
}

}  // namespace
}  // namespace pennaform::test
