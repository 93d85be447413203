// The scripted host: its answers format (refused as a whole when it does not
// fit), the dialogs it drives, and the transcript of what each one showed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "RecordingHost.h"
#include "ui/DialogOperations.h"
#include "ui/hosts/DialogHostFactory.h"
#include "ui/hosts/ScriptedAnswers.h"

namespace pennaform::test {
namespace {

using nlohmann::json;

// Script: a scripted host over `answers`, and its transcript read back.
class Script {
public:
    explicit Script(const std::string& answers) {
        std::string answersPath = folder_.file("answers.json", answers);
        ui::HostSetupProblem problem;
        host_ = ui::makeDialogHost("scripted", answersPath, transcriptPath(), problem);
        EXPECT_NE(host_, nullptr) << problem.message;
    }
    platform::PlatformDialogs& host() { return *host_; }
    std::string transcriptPath() const { return folder_.path() + "/transcript.jsonl"; }
    std::vector<json> transcript() const {
        std::ifstream in(transcriptPath());
        std::vector<json> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
        return lines;
    }
    const TemporaryFolder& folder() const { return folder_; }

private:
    TemporaryFolder folder_;
    std::unique_ptr<platform::PlatformDialogs> host_;
};

json controlIn(const json& controls, int id) {
    for (const json& c : controls) {
        if (c.value("id", -1) == id) return c;
    }
    return json();
}

TEST(ScriptedAnswers, AcceptTheDocumentedForms) {
    std::string problem;
    auto answers = ui::ScriptedAnswers::parse(R"([
        {"dialog": 202, "actions": [{"set": 302, "text": "/tmp/a.pfx"}, {"select": 0},
                                    {"select": null}, {"press": 1}, {"close": true}]},
        {"dialog": 205},
        {"dialog": "fileChooser", "path": "/tmp/b"},
        {"dialog": "folderChooser", "cancel": true},
        {"dialog": "keyUse", "allow": false},
        {"dialog": "yesNo", "yes": true}
    ])",
                                              problem);
    ASSERT_TRUE(answers) << problem;
    EXPECT_FALSE(answers->take(ui::AnswerKind::kDialog, 205));  // only the next one is offered
    auto first = answers->take(ui::AnswerKind::kDialog, 202);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->actions.size(), 5u);
    EXPECT_TRUE(answers->take(ui::AnswerKind::kDialog, 205));
    auto file = answers->take(ui::AnswerKind::kFileChooser);
    ASSERT_TRUE(file && file->path);
    EXPECT_EQ(*file->path, "/tmp/b");
    auto folder = answers->take(ui::AnswerKind::kFolderChooser);
    ASSERT_TRUE(folder);
    EXPECT_FALSE(folder->path);
    EXPECT_FALSE(answers->take(ui::AnswerKind::kYesNo));
    EXPECT_TRUE(answers->take(ui::AnswerKind::kKeyUse));
    EXPECT_FALSE(answers->take(ui::AnswerKind::kKeyUse));
    auto yes = answers->take(ui::AnswerKind::kYesNo);
    ASSERT_TRUE(yes);
    EXPECT_TRUE(yes->allow);
}

TEST(ScriptedAnswers, RefuseWhatDoesNotFit) {
    const char* misfits[] = {
        "",
        "{}",
        "[1]",
        R"([{"actions": []}])",
        R"([{"dialog": 0}])",
        R"([{"dialog": 200}])",
        R"([{"dialog": 208}])",
        R"([{"dialog": 70000}])",
        R"([{"dialog": 202.5}])",
        R"([{"dialog": "picker"}])",
        R"([{"dialog": 202, "actions": {}}])",
        R"([{"dialog": 202, "actions": [{"set": 302}]}])",
        R"([{"dialog": 202, "actions": [{"set": 302, "text": 5}]}])",
        R"([{"dialog": 202, "actions": [{"press": -1}]}])",
        R"([{"dialog": 202, "actions": [{"press": 1, "extra": 2}]}])",
        R"([{"dialog": 202, "actions": [{"select": -1}]}])",
        R"([{"dialog": 202, "actions": [{"close": false}]}])",
        R"([{"dialog": 202, "typo": []}])",
        R"([{"dialog": "fileChooser"}])",
        R"([{"dialog": "fileChooser", "path": "/a", "cancel": true}])",
        R"([{"dialog": "fileChooser", "cancel": false}])",
        R"([{"dialog": "keyUse", "allow": "yes"}])",
        R"([{"dialog": "keyUse", "yes": true}])",
        R"([{"dialog": "yesNo", "allow": true}])",
        R"([{"dialog": "yesNo", "yes": 1}])",
        "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[",
    };
    for (const char* text : misfits) {
        std::string problem;
        EXPECT_FALSE(ui::ScriptedAnswers::parse(text, problem)) << text;
        EXPECT_FALSE(problem.empty()) << text;
    }
}

TEST(DialogHostFactory, ReportsEachSetupProblemWithItsCode) {
    TemporaryFolder folder;
    std::string good = folder.file("good.json", "[]");
    std::string bad = folder.file("bad.json", "[{\"dialog\": \"nope\"}]");
    std::string huge = folder.file("huge.json", "[" + std::string(2 << 20, ' ') + "]");
    auto codeOf = [](std::string_view kind, const std::string& answers,
                     const std::string& transcript) {
        ui::HostSetupProblem problem;
        auto host = ui::makeDialogHost(kind, answers, transcript, problem);
        return host ? 0 : problem.code;
    };
    EXPECT_EQ(codeOf("headless", "", ""), 0);
    EXPECT_EQ(codeOf("terminal", "", ""), 0);
    EXPECT_EQ(codeOf("scripted", good, ""), 0);
    EXPECT_EQ(codeOf("gui", "", ""), 5005);
    EXPECT_EQ(codeOf("headless", good, ""), 5005);
    EXPECT_EQ(codeOf("terminal", "", folder.path() + "/t"), 5005);
    EXPECT_EQ(codeOf("scripted", "", ""), 5005);
    EXPECT_EQ(codeOf("scripted", folder.path() + "/missing.json", ""), 1002);
    EXPECT_EQ(codeOf("scripted", huge, ""), 1002);
    EXPECT_EQ(codeOf("scripted", bad, ""), 5045);
    EXPECT_EQ(codeOf("scripted", good, folder.path() + "/no/such/t.jsonl"), 1003);
    // Neither a folder nor a pipe nobody writes to is read, and neither waits.
    EXPECT_EQ(codeOf("scripted", folder.path(), ""), 1002);
    std::string pipe = folder.path() + "/answers.fifo";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(codeOf("scripted", pipe, ""), 1002);
}

TEST(ScriptedDialogHost, DrivesADialogAndRecordsWhatItShowed) {
    TemporaryFolder certs;
    std::string file = certs.file("a.pfx", "x");
    Script script(R"([{"dialog": 202, "actions": [
        {"press": 1},
        {"set": 302, "text": ")" +
                  file + R"("},
        {"set": 303, "text": "hunter2"},
        {"press": 1}]}])");
    std::string folder = "/nowhere", name, password;
    EXPECT_EQ(ui::askPfxFile(script.host(), folder, name, password, 0, 16), 0);
    EXPECT_EQ(folder, certs.path());
    EXPECT_EQ(name, "a.pfx");
    EXPECT_EQ(password, "hunter2");

    std::vector<json> lines = script.transcript();
    ASSERT_EQ(lines.size(), 1u);
    const json& record = lines[0];
    EXPECT_EQ(record["dialog"], 202);
    EXPECT_EQ(record["title"], "輸入憑證檔案資訊");
    EXPECT_EQ(controlIn(record["shown"], 302)["text"], "/nowhere/*.pfx");
    EXPECT_EQ(controlIn(record["shown"], 1)["enabled"], true);
    EXPECT_EQ(controlIn(record["shown"], 1)["text"], "確定");
    ASSERT_EQ(record["messages"].size(), 1u);
    EXPECT_EQ(record["messages"][0]["caption"], "錯誤訊息");
    EXPECT_EQ(record["messages"][0]["text"], "憑證檔(/nowhere/*.pfx) : 錯誤或不存在");
    EXPECT_EQ(controlIn(record["final"], 302)["text"], file);
    EXPECT_EQ(controlIn(record["final"], 303)["kind"], "password");
    EXPECT_EQ(controlIn(record["final"], 303)["length"], 7);
    EXPECT_EQ(record["result"], "ok");
    // A password never reaches the transcript.
    std::ifstream in(script.transcriptPath());
    std::stringstream raw;
    raw << in.rdbuf();
    EXPECT_EQ(raw.str().find("hunter2"), std::string::npos);
}

TEST(ScriptedDialogHost, ChoosersTakeTheAnswersThatFollowTheirDialog) {
    TemporaryFolder exports;
    Script script(R"([
        {"dialog": 206, "actions": [{"press": 301}, {"set": 303, "text": "pw"},
                                    {"set": 304, "text": "pw"}, {"press": 1}]},
        {"dialog": "folderChooser", "path": ")" +
                  exports.path() + R"("}])");
    std::string folder, name = "me.pfx", password;
    EXPECT_EQ(ui::askExportTarget(script.host(), folder, name, password, 0, 16), 0);
    EXPECT_EQ(folder, exports.path());
    EXPECT_EQ(password, "pw");
    std::vector<json> lines = script.transcript();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["dialog"], "folderChooser");  // closed first
    EXPECT_EQ(lines[0]["title"], "選擇憑證檔案儲存路徑 :");
    EXPECT_EQ(lines[0]["result"], "ok");
    EXPECT_EQ(lines[1]["dialog"], 206);
    EXPECT_EQ(controlIn(lines[1]["final"], 302)["text"], exports.path() + "/me.pfx");
}

TEST(ScriptedDialogHost, MisfitsAreRecordedAndNeverBlock) {
    Script script(R"([
        {"dialog": 205, "actions": [{"set": 999, "text": "x"}, {"press": 42}, {"select": 0}]},
        {"dialog": 203, "actions": [{"press": 1}, {"press": 2}, {"press": 2}]},
        {"dialog": "fileChooser", "cancel": true}])");
    platform::PlatformDialogs& host = script.host();
    std::string password = "kept";
    // The actions refused leave 205 open; the host closes it.
    EXPECT_EQ(ui::askPassword(host, password), 5070);
    EXPECT_EQ(password, "kept");
    // The next answer is for 203, not for 202: 202 cannot be shown, and the
    // answer stays for the 203 that follows.
    std::string folder, name, oldPassword, newPassword;
    EXPECT_EQ(ui::askPfxFile(host, folder, name, password, 0, 16), 5002);
    EXPECT_EQ(ui::askPasswordChange(host, folder, name, oldPassword, newPassword, 0, 16), 5070);
    auto chosen = host.chooseFile({"請選擇檔案", {}, ""});
    EXPECT_EQ(chosen.error(), platform::errors::kErrorCancelled);
    auto unanswered = host.chooseFolder("t");
    EXPECT_EQ(unanswered.error(), platform::errors::kErrorNotSupported);

    std::vector<json> lines = script.transcript();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0]["refused"], json::parse(R"([{"set": 999}, {"press": 42}, {"select": 0}])"));
    EXPECT_EQ(lines[0]["closedByHost"], true);
    EXPECT_EQ(lines[0]["result"], "cancel");
    EXPECT_EQ(lines[1]["dialog"], 202);
    EXPECT_EQ(lines[1]["result"], "unanswered");
    EXPECT_EQ(lines[2]["refused"], json::parse(R"([{"press": 1}])"));  // "確定" disabled
    EXPECT_EQ(lines[2]["unusedActions"], 1);
    EXPECT_EQ(lines[2]["result"], "cancel");
    EXPECT_EQ(lines[3]["title"], "請選擇檔案");
    EXPECT_EQ(lines[3]["result"], "cancel");
    EXPECT_EQ(lines[4]["dialog"], "folderChooser");
    EXPECT_EQ(lines[4]["result"], "unanswered");
}

TEST(ScriptedDialogHost, PicksRowsAndRecordsTheViewedCertificate) {
    Script script(R"([{"dialog": 204, "actions": [{"select": 1}, {"press": 302}, {"press": 1}]},
                      {"dialog": "keyUse", "allow": true}])");
    std::vector<ui::CertificateRow> rows(3);
    rows[1].holder = "Bob";
    rows[1].der = {0x30, 0x01, 0x02};
    ui::PickResult picked = ui::pickCertificate(script.host(), rows);
    EXPECT_EQ(picked.code, 0);
    EXPECT_EQ(picked.position, 1u);
    EXPECT_TRUE(script.host().confirmKeyUse({"container", "provider", platform::KeyUse::kSign}));
    std::vector<json> lines = script.transcript();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["dialog"], "certificateViewer");
    EXPECT_EQ(lines[0]["title"], "憑證內容");
    EXPECT_EQ(lines[0]["certificate"], "MAEC");
    const json list = controlIn(lines[1]["shown"], 301);
    EXPECT_EQ(list["selected"], 0);
    EXPECT_EQ(list["rows"][1][0], "Bob");
    EXPECT_EQ(list["columns"].size(), 5u);
    EXPECT_EQ(controlIn(lines[1]["final"], 301)["selected"], 1);
    EXPECT_EQ(lines[2]["dialog"], "keyUse");
    EXPECT_EQ(lines[2]["result"], "allow");
}

}  // namespace
}  // namespace pennaform::test
