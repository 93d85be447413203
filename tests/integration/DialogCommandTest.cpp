// The command's choice of dialog host (--dialogs, --answers, --transcript),
// and HashFile's file chooser through each host.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/Process.h"
#include "support/Pty.h"

namespace pennaform::test {
namespace {

using nlohmann::json;

// The SHA-1 digest of "abc" (HashFile with flags 0).
constexpr const char* kAbcSha1 = "A9993E364706816ABA3E25717850C26C9CD0D89D";

class DialogCommand : public ::testing::Test {
protected:
    DialogCommand() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pennaform-cli-XXXXXX").string();
        folder_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~DialogCommand() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string file(const std::string& name, const std::string& content) const {
        std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::vector<json> linesOf(const std::string& path) const {
        std::ifstream in(path);
        std::vector<json> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
        return lines;
    }
    std::string folder_;
};

TEST_F(DialogCommand, OptionsThatDoNotFitAreUsageErrors) {
    std::string good = file("good.json", "[]");
    std::string bad = file("bad.json", "[{\"dialog\": \"picker\"}]");
    const std::vector<std::vector<std::string>> mistakes = {
        {"--dialogs", "gui", "GetPortEx"},
        {"--dialogs", "scripted", "GetPortEx"},  // no answers
        {"--answers", good, "GetPortEx"},        // headless takes none
        {"--dialogs", "terminal", "--transcript", folder_ + "/t", "GetPortEx"},
        {"--dialogs", "scripted", "--answers", folder_ + "/none.json", "GetPortEx"},
        {"--dialogs", "scripted", "--answers", bad, "GetPortEx"},
        {"--dialogs", "scripted", "--answers", good, "--transcript", folder_ + "/no/t", "session"},
        {"--dialogs", "scripted", "--answers"},
    };
    for (const auto& words : mistakes) {
        ProcessResult r = runCommand(words);
        EXPECT_EQ(r.exitStatus, 2) << words[1];
        EXPECT_EQ(r.out, "") << words[1];
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

TEST_F(DialogCommand, EachHostCanBeChosen) {
    std::string answers = file("answers.json", "[]");
    std::string transcript = folder_ + "/transcript.jsonl";
    for (const auto& words :
         std::vector<std::vector<std::string>>{{"--dialogs", "headless", "GetPortEx"},
                                               {"--dialogs", "terminal", "GetPortEx"},
                                               {"--dialogs", "scripted", "--answers", answers,
                                                "--transcript", transcript, "GetPortEx"}}) {
        ProcessResult r = runCommand(words);
        EXPECT_EQ(r.exitStatus, 0) << words[1] << r.err;
        EXPECT_EQ(r.out, "65537\n");
    }
    EXPECT_TRUE(std::filesystem::exists(transcript));
    EXPECT_EQ(std::filesystem::file_size(transcript), 0u);  // no dialog was shown
}

// HashFile with an empty name asks the file chooser of the host in use.

TEST_F(DialogCommand, HashFileAsksTheTerminalForTheFile) {
    std::string data = file("data.txt", "abc");
    std::optional<PtyProcess> chosen =
        PtyProcess::start({commandPath(), "--dialogs", "terminal", "HashFile", "", "0"});
    ASSERT_TRUE(chosen);
    ASSERT_TRUE(chosen->expect("== 請選擇檔案 =="));
    ASSERT_TRUE(chosen->expect(" > "));
    chosen->type(data + "\n");
    ASSERT_TRUE(chosen->expect(kAbcSha1));
    EXPECT_EQ(chosen->finish(), 0);

    std::optional<PtyProcess> cancelled =
        PtyProcess::start({commandPath(), "--dialogs", "terminal", "HashFile", "", "0"});
    ASSERT_TRUE(cancelled);
    ASSERT_TRUE(cancelled->expect(" > "));
    cancelled->type("\x04");
    ASSERT_TRUE(cancelled->expect("error 5070: 使用者按下\"取消\"按鈕(5070)"));
    EXPECT_EQ(cancelled->finish(), 1);
}

TEST_F(DialogCommand, HashFileTakesTheScriptedAnswerAndRecordsTheChooser) {
    std::string data = file("data.txt", "abc");
    std::string answers =
        file("answers.json", json::array({{{"dialog", "fileChooser"}, {"path", data}}}).dump());
    std::string transcript = folder_ + "/transcript.jsonl";
    ProcessResult r = runCommand({"--dialogs", "scripted", "--answers", answers, "--transcript",
                                  transcript, "HashFile", "", "0"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kAbcSha1) + "\n");
    std::vector<json> lines = linesOf(transcript);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["dialog"], "fileChooser");
    EXPECT_EQ(lines[0]["title"], "請選擇檔案");
    EXPECT_EQ(lines[0]["result"], "ok");
    EXPECT_EQ(lines[0]["path"], data);

    // With no answer left the chooser cannot be shown: cancelled, never waiting.
    ProcessResult unanswered = runCommand(
        {"--dialogs", "scripted", "--answers", file("none.json", "[]"), "HashFile", "", "0"});
    EXPECT_EQ(unanswered.exitStatus, 1);
    EXPECT_EQ(unanswered.err, "error 5070: 使用者按下\"取消\"按鈕(5070)\n");
}

TEST_F(DialogCommand, HashFileWithoutAHostNeverWaitsForInput) {
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"HashFile", "", "0"}, {"--dialogs", "headless", "HashFile", "", "0"}}) {
        ProcessResult r = runCommand(words, {}, "");
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.out, "\n");
        EXPECT_EQ(r.err, "error 5070: 使用者按下\"取消\"按鈕(5070)\n");
    }
}

}  // namespace
}  // namespace pennaform::test
