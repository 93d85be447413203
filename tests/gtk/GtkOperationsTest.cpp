// Every dialog opened by the operations that need the user, through the
// command: one session of calls run once with the scripted host and once with
// the gtk host (the script's actions typed and clicked into the real windows,
// its paths picked in GTK's choosers), in homes set up alike. What each call
// returned and the transcripts must be equal, and each window screenshot.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "gtk/KeptScreenshots.h"
#include "support/Process.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"

namespace pennaform::test {
namespace {

using nlohmann::json;

// Step: one call of the session and the answers of the dialogs it opens.
struct Step {
    const char* name;
    json call;
    json answers;
    std::int32_t errorCode;  // what the scripted host's run reports
};

// `pfx` and its `copy` were written by Windows; the `signer` PFX comes from
// the test CA (the former's certificate signs itself, and no self-signed
// certificate is offered as a signer).
std::vector<Step> steps(const std::string& pfx, const std::string& copy, const std::string& signer,
                        const std::string& out) {
    auto call = [](const char* method, json args) {
        return json{{"method", method}, {"args", std::move(args)}};
    };
    json choosePfx = {{"dialog", "fileChooser"}, {"path", pfx}};
    return {
        {"QueryPfxInfo: a refused empty path, the file browsed, its password typed",
         call("QueryPfxInfo", {"", "", "", 0, 0}),
         {{{"dialog", 202},
           {"actions",
            {{{"press", 1}}, {{"press", 301}}, {{"set", 303}, {"text", "foo"}}, {{"press", 1}}}}},
          choosePfx},
         0},
        {"ImportPfxToIE: the key imported user-protected",
         call("ImportPfxToIE", {"", "", "", 3, 0}),
         {{{"dialog", 202},
           {"actions", {{{"press", 301}}, {{"set", 303}, {"text", "foo"}}, {{"press", 1}}}}},
          {{"dialog", "fileChooser"}, {"path", signer}}},
         0},
        {"ChangePfxPasswd: a confirmation that differs refused, then changed",
         call("ChangePfxPasswd", {"", "", "", "", 0}),
         {{{"dialog", 203},
           {"actions",
            {{{"press", 301}},
             {{"set", 303}, {"text", "foo"}},
             {{"set", 304}, {"text", "new1234"}},
             {{"set", 305}, {"text", "new1235"}},
             {{"press", 1}}}}},
          {{"dialog", "fileChooser"}, {"path", copy}}},
         5209},
        {"ExportPfxFromIE: the picker with the viewer, then the export target",
         call("ExportPfxFromIE", {"", "", "", 0, 0}),
         {{{"dialog", 204}, {"actions", {{{"select", 1}}, {{"press", 302}}, {{"press", 1}}}}},
          {{"dialog", 206},
           {"actions",
            {{{"press", 1}},
             {{"press", 301}},
             {{"set", 303}, {"text", "pw1234"}},
             {{"set", 304}, {"text", "pw1234"}},
             {{"press", 1}}}}},
          {{"dialog", "folderChooser"}, {"path", out}}},
         0},
        {"ExportMobileFromPfx: the PFX source",
         call("ExportMobileFromPfx", {"", "", "", 0, 0}),
         {{{"dialog", 207},
           {"actions", {{{"press", 301}}, {{"set", 303}, {"text", "foo"}}, {{"press", 1}}}}},
          choosePfx},
         0},
        {"ExportMobileFromIE: the password prompt",
         call("ExportMobileFromIE", {"S_C=TW,S_O=Test,S_CN=alice", "", 0, 0}),
         {{{"dialog", 205}, {"actions", {{{"set", 303}, {"text", "mobile12"}}, {{"press", 1}}}}}},
         0},
        {"SelectSigner: the picker forced, the PFX's certificate chosen",
         call("SelectSigner", {"", 1, 0}),
         {{{"dialog", 204}, {"actions", {{{"select", 2}}, {{"press", 1}}}}}},
         0},
        {"SignPkcs1: the confirmation, then the protected key's prompt",
         call("SignPkcs1", {"簽章內容", 0x8000}),
         {{{"dialog", 201}, {"actions", {{{"press", 1}}}}},
          {{"dialog", "keyUse"}, {"allow", true}}},
         0},
        {"SignPkcs1: the protected key's use refused",
         call("SignPkcs1", {"abc", 0}),
         {{{"dialog", "keyUse"}, {"allow", false}}},
         5061},
    };
}

struct SessionRun {
    std::vector<json> replies;
    std::string transcript;
};

// runSession: the steps in one session of `kind`, in a home with two
// certificates of the test CA in "MY", from inside `folder` as laid out.
SessionRun runSession(const std::string& kind, const std::string& folder,
                      const std::vector<Step>& all, const TestCa& ca) {
    std::string home = folder + "/home";
    for (std::string name : {"alice", "bob"}) {
        ProcessResult installed =
            ca.run({"install", "--home", home, "--store", "MY", "--cert", ca.path(name + ".der"),
                    "--key", ca.path(name + ".key.pem")});
        EXPECT_EQ(installed.exitStatus, 0) << installed.err;
    }
    json answers = json::array();
    std::string input;
    for (const Step& step : all) {
        for (const json& answer : step.answers) answers.push_back(answer);
        input += step.call.dump() + "\n";
    }
    std::string answersPath = folder + "/answers.json";
    std::ofstream(answersPath) << answers.dump();
    std::string transcriptPath = folder + "/transcript.jsonl";
    ProcessResult r = runCommand({"--home", home, "--dialogs", kind, "--answers", answersPath,
                                  "--transcript", transcriptPath, "session"},
                                 {}, input);
    EXPECT_EQ(r.exitStatus, 0) << kind << r.err;
    SessionRun run;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) run.replies.push_back(json::parse(line));
    // Imported keys get containers of random names.
    static const std::regex container("\\{[0-9A-Fa-f-]{36}\\}");
    run.transcript = std::regex_replace(fileText(transcriptPath), container, "{container}");
    return run;
}

TEST(GtkOperations, EachDialogOpensThroughItsOperationAsOnTheScriptedHost) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    TemporaryFolder folder;
    TestCa ca;
    ASSERT_TRUE(ca.certificate("root", {"--ca", "--subject", "/C=TW/O=Test Root"}))
        << ca.lastError();
    for (std::string name : {"alice", "bob", "carol"}) {
        std::string subject = "/C=TW/O=Test/CN=" + name;
        ASSERT_TRUE(
            ca.certificate(name, {"--subject", subject, "--issuer-cert", ca.path("root.der"),
                                  "--issuer-key", ca.path("root.key.pem")}))
            << ca.lastError();
    }
    ProcessResult pfx =
        ca.run({"pfx", "--out", ca.path("carol.pfx"), "--cert", ca.path("carol.der"), "--key",
                ca.path("carol.key.pem"), "--password", "foo"});
    ASSERT_EQ(pfx.exitStatus, 0) << pfx.err;
    std::string shots = folder.sub("shots");
    std::filesystem::create_directory(shots);
    // Both runs see the same paths: the layout is made, used and moved aside.
    std::string work = folder.sub("work");
    const std::vector<Step> all =
        steps(work + "/windows.p12", work + "/copy.p12", work + "/carol.pfx", work + "/out");
    SessionRun runs[2];
    const char* kinds[2] = {"scripted", "gtk"};
    for (int i = 0; i < 2; ++i) {
        std::filesystem::create_directories(work + "/out");
        for (const char* name : {"windows.p12", "copy.p12"}) {
            std::filesystem::copy_file(PENNAFORM_TEST_DATA "/pkcs12/windows.p12",
                                       work + "/" + name);
        }
        std::filesystem::copy_file(ca.path("carol.pfx"), work + "/carol.pfx");
        setenv("PENNAFORM_GTK_SCREENSHOTS", shots.c_str(), 1);
        runs[i] = runSession(kinds[i], work, all, ca);
        std::filesystem::rename(work, folder.sub(kinds[i]));
    }
    ASSERT_EQ(runs[0].replies.size(), all.size());
    ASSERT_EQ(runs[1].replies.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(all[i].name);
        EXPECT_EQ(runs[0].replies[i]["errorCode"], all[i].errorCode) << runs[0].replies[i];
        EXPECT_EQ(runs[1].replies[i], runs[0].replies[i]);
    }
    EXPECT_EQ(runs[1].transcript, runs[0].transcript);
    // Every dialog, chooser, the viewer and the key prompt came up, each drawn.
    std::set<std::string> opened;
    std::istringstream lines(runs[0].transcript);
    for (std::string line; std::getline(lines, line);)
        opened.insert(json::parse(line)["dialog"].dump());
    EXPECT_EQ(opened, (std::set<std::string>{"201", "202", "203", "204", "205", "206", "207",
                                             "\"fileChooser\"", "\"folderChooser\"",
                                             "\"certificateViewer\"", "\"keyUse\""}));
    for (const std::string& name : opened) {
        std::string bare = name[0] == '"' ? name.substr(1, name.size() - 2) : name;
        EXPECT_TRUE(std::filesystem::exists(shots + "/dialog-" + bare + "-first.png")) << bare;
    }
    keepScreenshots(shots);
}

}  // namespace
}  // namespace pennaform::test
