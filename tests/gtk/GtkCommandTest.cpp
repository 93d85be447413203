// The gtk host from the command: chosen with --dialogs gtk, answering as the
// headless host without a display, driven by the same answers as the
// scripted host; and the library and the command linking no GTK library.
#include <gtest/gtest.h>

#include "support/Process.h"
#include "support/TemporaryFolder.h"

namespace pennaform::test {
namespace {

TEST(GtkCommand, HashFileAsksTheSameChooserThroughBothHosts) {
    TemporaryFolder folder;
    std::string data = folder.file("data.txt", "abc");
    std::string answers =
        folder.file("answers.json", "[{\"dialog\": \"fileChooser\", \"path\": \"" + data + "\"}]");
    std::string transcripts[2];
    ProcessResult results[2];
    const char* kinds[2] = {"scripted", "gtk"};
    for (int i = 0; i < 2; ++i) {
        transcripts[i] = folder.sub(std::string(kinds[i]) + ".jsonl");
        results[i] = runCommand({"--dialogs", kinds[i], "--answers", answers, "--transcript",
                                 transcripts[i], "HashFile", "", "0"});
    }
    EXPECT_EQ(results[0].exitStatus, 0) << results[0].err;
    EXPECT_EQ(results[0].out, "A9993E364706816ABA3E25717850C26C9CD0D89D\n");
    EXPECT_EQ(results[1].exitStatus, results[0].exitStatus) << results[1].err;
    EXPECT_EQ(results[1].out, results[0].out);
    EXPECT_EQ(fileText(transcripts[1]), fileText(transcripts[0]));
}

TEST(GtkCommand, APathTheRealChooserCannotTakeIsACancel) {
    TemporaryFolder folder;
    std::string answers =
        folder.file("answers.json",
                    "[{\"dialog\": \"fileChooser\", \"path\": \"" + folder.sub("none") + "\"}]");
    std::string transcript = folder.sub("t.jsonl");
    ProcessResult r = runCommand(
        {"--dialogs", "gtk", "--answers", answers, "--transcript", transcript, "HashFile", "", "0"},
        {{"PENNAFORM_GTK_SCREENSHOTS", ""}});
    EXPECT_EQ(r.exitStatus, 1);
    // GTK's own warnings may come before the error line.
    std::string error = "error 5070: 使用者按下\"取消\"按鈕(5070)\n";
    EXPECT_TRUE(r.err.ends_with(error)) << r.err;
    EXPECT_NE(fileText(transcript).find("\"result\":\"cancel\""), std::string::npos);
}

TEST(GtkCommand, WithoutADisplayAnswersAsTheHeadlessHost) {
    std::map<std::string, std::string> noDisplay = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
    TemporaryFolder folder;
    std::string answers =
        folder.file("answers.json", "[{\"dialog\": \"fileChooser\", \"path\": \"/\"}]");
    std::string transcript = folder.sub("t.jsonl");
    for (const auto& words :
         std::vector<std::vector<std::string>>{{"--dialogs", "gtk", "HashFile", "", "0"},
                                               {"--dialogs", "gtk", "--answers", answers,
                                                "--transcript", transcript, "HashFile", "", "0"}}) {
        ProcessResult r = runCommand(words, noDisplay, "");
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, "error 5070: 使用者按下\"取消\"按鈕(5070)\n");
    }
    // The gtk host takes a transcript only with answers, as the scripted one.
    ProcessResult alone = runCommand(
        {"--dialogs", "gtk", "--transcript", folder.sub("u.jsonl"), "GetPortEx"}, noDisplay);
    EXPECT_EQ(alone.exitStatus, 2);
}

TEST(GtkCommand, NeitherTheLibraryNorTheCommandLinksGtk) {
    for (const char* variable : {"PENNAFORM_LIBRARY", "PENNAFORM_CLI", "PENNAFORM_GTK_MODULE"}) {
        const char* path = getenv(variable);
        ASSERT_NE(path, nullptr) << variable;
        ProcessResult listed = runProcess({"ldd", path});
        ASSERT_EQ(listed.exitStatus, 0) << listed.err;
        bool namesGtk = listed.out.find("libgtk-4") != std::string::npos;
        // The module is the one part that does: the check itself is sound.
        EXPECT_EQ(namesGtk, std::string(variable) == "PENNAFORM_GTK_MODULE") << listed.out;
    }
}

}  // namespace
}  // namespace pennaform::test
