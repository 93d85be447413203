// The terminal host played through a pseudo-terminal: fields prompted under
// their labels, passwords not echoed (and the echo back after a signal),
// message boxes printed with the dialog kept open, the picker as a numbered
// table, the chooser; and nothing waiting without a controlling terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "RecordingHost.h"
#include "support/Process.h"
#include "support/Pty.h"

namespace pennaform::test {
namespace {

std::string driverPath() {
    const char* path = std::getenv("PENNAFORM_DIALOG_DRIVER");
    return path != nullptr ? path : "dialog_driver";
}

PtyProcess startDriver(std::vector<std::string> words) {
    words.insert(words.begin(), driverPath());
    std::optional<PtyProcess> process = PtyProcess::start(words);
    if (!process) throw std::runtime_error("no pseudo-terminal");
    return std::move(*process);
}

// resultLine: the driver's last line, which it prints after the dialog.
std::string resultLine(const std::string& output) {
    std::size_t at = output.rfind("code=");
    if (at == std::string::npos) at = output.rfind("error=");
    if (at == std::string::npos) return "";
    return output.substr(at, output.find_first_of("\r\n", at) - at);
}

// expectResult: the driver exits normally with `line` as its result line.
void expectResult(PtyProcess& driver, const std::string& line) {
    EXPECT_EQ(driver.finish(), 0);
    EXPECT_EQ(resultLine(driver.output()), line);
}

// fillPfxFields: answers the two prompts of askPfxFile: the path, whose
// field shows `shown`, is echoed as `path` is typed; the password is typed
// without echo.
void fillPfxFields(PtyProcess& driver, const std::string& shown, const std::string& path,
                   const std::string& password) {
    ASSERT_TRUE(driver.expect("憑證檔案儲存路徑 : [" + shown + "] "));
    EXPECT_TRUE(driver.echoing());
    driver.type(path + "\n");
    ASSERT_TRUE(driver.expect("輸入憑證密碼 : [] "));
    EXPECT_FALSE(driver.echoing());
    driver.type(password + "\n");
}

TEST(TerminalDialogHost, PromptsEachFieldAndHidesThePassword) {
    TemporaryFolder folder;
    std::string file = folder.file("a.pfx", "x");
    PtyProcess driver = startDriver({"askPfxFile", "/nowhere", "", "", "0", "16"});
    ASSERT_TRUE(driver.expect("== 輸入憑證檔案資訊 =="));
    ASSERT_NO_FATAL_FAILURE(fillPfxFields(driver, "/nowhere/*.pfx", file, "s3cret"));
    ASSERT_TRUE(driver.expect("[301] 瀏覽  [1] 確定  [2] 取消  > "));
    EXPECT_TRUE(driver.echoing());
    driver.type("\n");  // Enter presses the default button
    expectResult(driver, "code=0 folder=" + folder.path() + " name=a.pfx password=s3cret");
    std::string shown = driver.output().substr(0, driver.output().rfind("code="));
    EXPECT_NE(shown.find(file), std::string::npos);               // the path was echoed
    EXPECT_EQ(shown.find("s3cret"), std::string::npos) << shown;  // the password was not
}

TEST(TerminalDialogHost, AMessageBoxKeepsTheDialogAndCtrlDCancels) {
    PtyProcess driver = startDriver({"askPfxFile", "/c", "x.pfx", "", "0", "16"});
    ASSERT_NO_FATAL_FAILURE(fillPfxFields(driver, "/c/x.pfx", "/missing/y.pfx", ""));
    ASSERT_TRUE(driver.expect("> "));
    driver.type("1\n");
    ASSERT_TRUE(driver.expect("錯誤訊息: 憑證檔(/missing/y.pfx) : 錯誤或不存在"));
    ASSERT_TRUE(driver.expect("憑證檔案儲存路徑 : [/missing/y.pfx] "));
    driver.type("\x04");
    expectResult(driver, "code=5070 folder=/c name=x.pfx password=");
}

TEST(TerminalDialogHost, ADisabledButtonCannotBePressed) {
    PtyProcess driver = startDriver({"askPfxFile", "/c", "x.pfx", "", "4", "8"});
    ASSERT_NO_FATAL_FAILURE(fillPfxFields(driver, "/c/x.pfx", "", "abc"));
    ASSERT_TRUE(driver.expect("[301] 瀏覽  (1) 確定  [2] 取消  > "));
    driver.type("1\n");
    ASSERT_TRUE(driver.expect("(no button 1 to press)"));
    driver.type("2\n");
    expectResult(driver, "code=5070 folder=/c name=x.pfx password=");
}

TEST(TerminalDialogHost, ASignalDuringAPasswordLeavesTheEchoOn) {
    for (int number : {SIGINT, SIGTERM}) {
        PtyProcess driver = startDriver({"askPassword"});
        ASSERT_TRUE(driver.expect("輸入憑證密碼 : [] "));
        ASSERT_FALSE(driver.echoing());
        driver.signal(number);
        EXPECT_EQ(driver.finish(), 128 + number);
        EXPECT_TRUE(driver.echoing()) << number;
    }
}

TEST(TerminalDialogHost, ThePickerIsANumberedTableWithAViewer) {
    TemporaryFolder folder;
    std::string der = folder.path() + "/viewer.der";
    ProcessResult made =
        runProcess({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-nodes", "-keyout", folder.path() + "/key.pem",
                    "-subj", "/CN=Viewer", "-days", "1", "-outform", "DER", "-out", der});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    PtyProcess driver = startDriver({"pick", folder.path() + "/none.der", der});
    ASSERT_TRUE(
        driver.expect("憑證\r\n     憑證持有人 | 憑證序號 | 起始日 | 截止日 | 憑證發行者\r\n"));
    ASSERT_TRUE(driver.expect("  1* Holder 1 | 01 |  |  | Test CA\r\n"));
    ASSERT_TRUE(driver.expect("  2  Holder 2 | 02 |  |  | Test CA\r\n"));
    ASSERT_TRUE(driver.expect("[1] "));
    driver.type("2\n");
    ASSERT_TRUE(driver.expect("[302] 檢視憑證  [1] 確定  [2] 取消  > "));
    driver.type("302\n");
    ASSERT_TRUE(driver.expect("== 憑證內容 =="));
    ASSERT_TRUE(driver.expect("CN = Viewer"));
    ASSERT_TRUE(driver.expect("(Enter closes the viewer) "));
    driver.type("\n");
    ASSERT_TRUE(driver.expect("  2* Holder 2"));  // back in the picker, row 2 kept
    ASSERT_TRUE(driver.expect("[2] "));
    driver.type("\n");
    ASSERT_TRUE(driver.expect("> "));
    driver.type("\n");
    expectResult(driver, "code=0 position=1");
}

TEST(TerminalDialogHost, TheChooserTakesATypedPath) {
    // A typed path is the choice; an empty line chooses nothing.
    const struct {
        std::string typed;
        std::string result;
    } cases[] = {
        {"/etc/hostname", "error=0 path=/etc/hostname"},
        {"", "error=1223 path="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        PtyProcess driver = startDriver({"chooseFile", "請選擇檔案"});
        ASSERT_TRUE(driver.expect("== 請選擇檔案 =="));
        ASSERT_TRUE(driver.expect(" > "));
        driver.type(c.typed + "\n");
        expectResult(driver, c.result);
    }
}

TEST(TerminalDialogHost, WithoutAControllingTerminalNothingWaits) {
    // No standard input either: the host must not fall back to reading it.
    ProcessResult pfx =
        runProcess({driverPath(), "--detach", "askPfxFile", "/c", "", "", "0", "16"}, {}, "");
    EXPECT_EQ(pfx.exitStatus, 0);
    EXPECT_EQ(pfx.out, "code=5002 folder=/c name=*.pfx password=\n");
    ProcessResult chooser = runProcess({driverPath(), "--detach", "chooseFile", "請選擇檔案"});
    EXPECT_EQ(chooser.out, "error=50 path=\n");
}

}  // namespace
}  // namespace pennaform::test
