// The gtk dialog host, run under a display (xvfb-run from CTest): the same
// answers files drive each dialog through the scripted host (actions on the
// model) and through the gtk host (actions typed and clicked on the real
// widgets); results, what the operations hand back and transcripts must be
// equal. Screenshots of each dialog are written on the way.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "gtk/KeptScreenshots.h"
#include "support/TemporaryFolder.h"
#include "ui/DialogOperations.h"
#include "ui/hosts/DialogHostFactory.h"

namespace pennaform::test {
namespace {

using nlohmann::json;

// HostRun: what one operation gave back with one host.
struct HostRun {
    std::string returned;  // the code and the values copied back
    std::string transcript;
};

using Operation = std::function<std::string(platform::PlatformDialogs&)>;

HostRun runWith(const std::string& kind, const TemporaryFolder& folder, const std::string& answers,
                const Operation& operation) {
    std::string answersPath = folder.file(kind + "-answers.json", answers);
    std::string transcriptPath = folder.sub(kind + "-transcript.jsonl");
    ui::HostSetupProblem problem;
    auto host = ui::makeDialogHost(kind, answersPath, transcriptPath, problem);
    if (!host) return {"no host: " + problem.message, ""};
    HostRun run{operation(*host), ""};
    host.reset();
    std::ifstream in(transcriptPath);
    std::stringstream text;
    text << in.rdbuf();
    run.transcript = text.str();
    return run;
}

std::string fileAnswer(std::int32_t code, const std::string& folder, const std::string& name,
                       const std::string& password) {
    return std::to_string(code) + " " + folder + " | " + name + " | " + password;
}

struct Case {
    const char* name;
    int templateId;
    json answers;
    Operation operation;
};

std::vector<Case> cases(const std::string& pfx, const std::string& missing) {
    const std::vector<ui::CertificateRow> rows = {
        {"王小明", "0A1B", "2024/01/01", "2026/01/01", "測試 CA", {}},
        {"Alice", "01", "2023/05/05", "2027/05/05", "Another CA", {}},
        {"陳大文", "FF00", "2025/02/02", "2028/02/02", "測試 CA", {}},
    };
    auto pfxFile = [](auto ask) {
        return [ask](platform::PlatformDialogs& host) {
            std::string folder, name, password;
            std::int32_t code = ask(host, folder, name, password, 4, 12);
            return fileAnswer(code, folder, name, password);
        };
    };
    return {
        {"pfx file: a missing file refused, browsed, accepted", 202,
         json::array({{{"dialog", 202},
                       {"actions",
                        {{{"press", 1}},
                         {{"set", 302}, {"text", missing}},
                         {{"set", 303}, {"text", "secret12345678"}},
                         {{"press", 1}},
                         {{"press", 301}},
                         {{"press", 1}}}}},
                      {{"dialog", "fileChooser"}, {"path", pfx}}}),
         pfxFile(&ui::askPfxFile)},
        {"pfx file: path typed into the multi-line field, closed", 202,
         json::array({{{"dialog", 202},
                       {"actions",
                        {{{"set", 302}, {"text", pfx}},
                         {{"set", 303}, {"text", "pw12"}},
                         {{"close", true}}}}}}),
         pfxFile(&ui::askPfxFile)},
        {"export target: passwords that differ refused, then accepted", 206,
         json::array({{{"dialog", 206},
                       {"actions",
                        {{{"press", 1}},
                         {{"press", 301}},
                         {{"set", 303}, {"text", "pw1234"}},
                         {{"set", 304}, {"text", "pw1235"}},
                         {{"press", 1}},
                         {{"set", 304}, {"text", "pw1234"}},
                         {{"press", 1}}}}},
                      {{"dialog", "folderChooser"}, {"path", "/tmp"}}}),
         pfxFile(&ui::askExportTarget)},
        {"pfx source: read-only path, a missing file refused, then accepted", 207,
         json::array({{{"dialog", 207},
                       {"actions",
                        {{{"set", 302}, {"text", "/etc/passwd"}},
                         {{"press", 301}},
                         {{"set", 303}, {"text", "pw1234"}},
                         {{"press", 1}},
                         {{"press", 301}},
                         {{"press", 1}}}}},
                      {{"dialog", "fileChooser"}, {"path", missing}},
                      {{"dialog", "fileChooser"}, {"path", pfx}}}),
         pfxFile(&ui::askPfxSource)},
        {"password change: a missing file refused, then cancelled", 203,
         json::array({{{"dialog", 203},
                       {"actions",
                        {{{"press", 301}},
                         {{"set", 303}, {"text", "old1234"}},
                         {{"set", 304}, {"text", "new1234"}},
                         {{"set", 305}, {"text", "new9999"}},
                         {{"press", 1}},
                         {{"press", 2}}}}},
                      {{"dialog", "fileChooser"}, {"path", missing}}}),
         [](platform::PlatformDialogs& host) {
             std::string folder, name, oldPassword, newPassword;
             std::int32_t code =
                 ui::askPasswordChange(host, folder, name, oldPassword, newPassword, 4, 12);
             return fileAnswer(code, folder, name, oldPassword) + " | " + newPassword;
         }},
        {"password: CJK text typed, accepted", 205,
         json::array({{{"dialog", 205},
                       {"actions", {{{"set", 303}, {"text", "密碼pw"}}, {{"press", 1}}}}}}),
         [](platform::PlatformDialogs& host) {
             std::string password;
             std::int32_t code = ui::askPassword(host, password);
             return std::to_string(code) + " " + password;
         }},
        {"picker: unknown row refused, row 2 chosen", 204,
         json::array(
             {{{"dialog", 204},
               {"actions",
                {{{"select", 7}}, {{"select", nullptr}}, {{"select", 2}}, {{"press", 1}}}}}}),
         [rows](platform::PlatformDialogs& host) {
             ui::PickResult picked = ui::pickCertificate(host, rows);
             return std::to_string(picked.code) + " " + std::to_string(picked.position);
         }},
        {"picker: the first row preselected", 204,
         json::array({{{"dialog", 204}, {"actions", {{{"press", 1}}}}}}),
         [rows](platform::PlatformDialogs& host) {
             ui::PickResult picked = ui::pickCertificate(host, rows);
             return std::to_string(picked.code) + " " + std::to_string(picked.position);
         }},
        {"signing confirmation: a disabled button and a read-only field", 201,
         json::array({{{"dialog", 201},
                       {"actions",
                        {{{"set", 301}, {"text", "changed"}}, {{"press", 99}}, {{"press", 1}}}}}}),
         [](platform::PlatformDialogs& host) {
             ui::SigningDetails details{"要簽的內容\r\nsecond line", "0A1B", "王小明", "2024/01/01",
                                        "2026/01/01"};
             return std::to_string(ui::confirmSigning(host, details));
         }},
    };
}

TEST(GtkHost, DrivesEachDialogThroughItsWidgetsAsTheScriptedHostDoes) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    TemporaryFolder folder;
    std::string shots = folder.sub("shots");
    std::filesystem::create_directory(shots);
    setenv("PENNAFORM_GTK_SCREENSHOTS", shots.c_str(), 1);
    std::string pfx = folder.file("user.pfx", "not read by the dialogs");
    // A file the real chooser lists but that cannot be opened: a link to nothing.
    std::string missing = folder.sub("missing.pfx");
    std::filesystem::create_symlink(folder.sub("nothing.pfx"), missing);
    std::set<int> refused;
    for (const Case& c : cases(pfx, missing)) {
        SCOPED_TRACE(c.name);
        std::string answers = c.answers.dump();
        HostRun scripted = runWith("scripted", folder, answers, c.operation);
        HostRun shown = runWith("gtk", folder, answers, c.operation);
        EXPECT_EQ(shown.returned, scripted.returned);
        EXPECT_EQ(shown.transcript, scripted.transcript);
        ASSERT_FALSE(scripted.transcript.empty());
        if (scripted.transcript.find("\"messages\":[{") != std::string::npos) {
            refused.insert(c.templateId);
        }
    }
    // Every dialog was drawn in its first state, and after a refusal where
    // there was one: four of them show a message box above.
    EXPECT_EQ(refused, (std::set<int>{202, 203, 206, 207}));
    for (const Case& c : cases(pfx, missing)) {
        EXPECT_TRUE(std::filesystem::exists(shots + "/dialog-" + std::to_string(c.templateId) +
                                            "-first.png"))
            << c.templateId;
    }
    // The choosers were the real ones, the script's path picked in them.
    for (const char* chooser : {"fileChooser", "folderChooser"}) {
        EXPECT_TRUE(std::filesystem::exists(shots + "/dialog-" + chooser + "-first.png"));
    }
    for (int id : refused) {
        for (const char* suffix : {"-refused.png", "-refused-message.png"}) {
            std::string path = shots + "/dialog-" + std::to_string(id) + suffix;
            std::ifstream png(path, std::ios::binary);
            char magic[8] = {};
            png.read(magic, 8);
            EXPECT_EQ(std::string(magic, 8), "\x89PNG\r\n\x1a\n") << path;
        }
    }
    keepScreenshots(shots);
}

}  // namespace
}  // namespace pennaform::test
