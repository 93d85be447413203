// The pennaform command from outside: one-shot calls, sessions, usage errors
// and the messages under a Big5 locale.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/CommandLine.h"
#include "cli/Help.h"
#include "cli/Session.h"
#include "interface/MethodTable.h"
#include "support/Process.h"

namespace pennaform::test {
namespace {

using nlohmann::json;

TEST(CommandOneShot, ReadersOnAFreshEngine) {
    ProcessResult r = runCommand({"GetPortEx"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "65537\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(runCommand({"GetErrorMsg"}).out, "成功(0)\n");
    EXPECT_EQ(runCommand({"GetCapiErrorMsg"}).out, "成功(0)\n");
    EXPECT_EQ(runCommand({"_GetPortEx@0"}).out, "65537\n");
}

TEST(CommandOneShot, AFailingCallPrintsItsCodeAndExitsOne) {
    ProcessResult r = runCommand({"_SelectSignerINS@12", "1", "0x10", "4294967295"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "5004\n");
    EXPECT_EQ(r.err, "error 5004: 不支援的功能(5004)\n");
}

TEST(CommandOneShot, UsageErrorsExitTwoWithOneLine) {
    const std::vector<std::vector<std::string>> mistakes = {
        {},                                  // nothing to do
        {"NoSuchMethod"},                    // unknown method
        {"_Hash@4", "x"},                    // decorated name with the wrong size
        {"SelectSignerINS", "1", "2", "3"},  // the export-only row has no method name
        {"GetPortEx", "extra"},              // too many arguments
        {"Hash", "abc"},                     // too few
        {"Hash", "abc", "12z"},              // not an integer
        {"Hash", "abc", "4294967296"},       // beyond 32 bits
        {"--dialogs"},                       // option without its value
        {"--bogus", "GetPortEx"},            // unknown option
    };
    for (const auto& words : mistakes) {
        ProcessResult r = runCommand(words);
        std::string shown = words.empty() ? "(none)" : words.front();
        EXPECT_EQ(r.exitStatus, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        ASSERT_FALSE(r.err.empty()) << shown;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << shown << ": " << r.err;
    }
}

TEST(CommandHelp, ListsEveryOperationOnceAndExplainsEach) {
    std::map<std::string_view, int> listed;
    for (const cli::OperationArea& area : cli::operationAreas()) {
        for (std::string_view method : area.methods) ++listed[method];
    }
    for (const MethodSpec& method : kMethodTable) {
        if (method.isExportOnly()) continue;
        EXPECT_EQ(listed[method.name], 1) << method.name;
    }
    EXPECT_EQ(listed.size(), kMethodTable.size() - 1);

    ProcessResult help = runCommand({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find(" SignPkcs7"), std::string::npos);
    EXPECT_EQ(runCommand({"help"}).out, help.out);
    ProcessResult hash = runCommand({"help", "_Hash@8"});
    EXPECT_EQ(hash.exitStatus, 0);
    EXPECT_EQ(hash.out.substr(0, hash.out.find('\n')),
              "Hash(strPlainText: string, dwFlags: long) -> string");
    EXPECT_NE(hash.out.find("protected mode: refused (1500)"), std::string::npos);
    EXPECT_NE(runCommand({"help", "GetVersion"}).out.find("protected mode: allowed"),
              std::string::npos);
    EXPECT_EQ(runCommand({"--version"}).out, "pennaform 4.2.3.0\n");
    ProcessResult unknown = runCommand({"help", "Nope"});
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_NE(unknown.err.find("pennaform --help"), std::string::npos);
}

TEST(CommandSession, CallsShareOneEngine) {
    std::string input =
        "{\"method\":\"_SelectSignerINS@12\",\"args\":[1,2,3]}\n"
        "{\"method\":\"GetErrorMsg\"}\n"
        "\n"
        "{\"method\":\"GetErrorCode\",\"args\":[]}\n"
        "not json\n"
        "{\"method\":\"Nope\"}\n"
        "{\"method\":\"Hash\",\"args\":[null,\"0x10\"]}\n"
        "{\"method\":\"Hash\",\"args\":[1,2]}\n"
        "{\"method\":\"GetCapiErrorMsg\"}\n";
    ProcessResult r = runCommand({"session"}, {}, input);
    EXPECT_EQ(r.exitStatus, 0);
    std::vector<json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(json::parse(r.out.substr(start, end - start)));
    }
    ASSERT_EQ(lines.size(), 8u) << r.out;
    EXPECT_EQ(lines[0], json::parse(R"({"result":5004,"errorCode":5004,"capiError":0})"));
    EXPECT_EQ(lines[1]["result"], "不支援的功能(5004)");
    EXPECT_EQ(lines[2]["result"], 5004);
    EXPECT_TRUE(lines[3].contains("usageError"));
    EXPECT_TRUE(lines[4].contains("usageError"));
    EXPECT_EQ(lines[5]["errorCode"], 5005);  // null text reads as empty
    EXPECT_TRUE(lines[6].contains("usageError"));
    EXPECT_EQ(lines[7]["result"], "成功(0)");
}

TEST(CommandSession, ADeeplyNestedLineIsRefusedAndTheSessionGoesOn) {
    const std::size_t depth = 100000;
    std::string input = "{\"method\":\"GetPortEx\",\"args\":" + std::string(depth, '[') +
                        std::string(depth, ']') + "}\n{\"method\":\"GetPortEx\"}\n";
    ProcessResult r = runCommand({"session"}, {}, input);
    EXPECT_EQ(r.exitStatus, 0);
    std::size_t firstEnd = r.out.find('\n');
    ASSERT_NE(firstEnd, std::string::npos) << r.out;
    EXPECT_TRUE(json::parse(r.out.substr(0, firstEnd)).contains("usageError"));
    EXPECT_EQ(json::parse(r.out.substr(firstEnd + 1))["result"], 65537);
}

// A line over the cap is answered at once and not kept; the next one is
// read as usual.
TEST(CommandSession, ALineOverTheCapIsRefusedAndTheSessionGoesOn) {
    const std::string head = "{\"method\":\"Hash\",\"args\":[\"";
    const std::string tail = "\",0]}";
    std::string input = head;
    input.append(cli::kMaxSessionLine + 1 - head.size() - tail.size(), 'a');
    input += tail + "\n{\"method\":\"GetPortEx\"}\n";
    ProcessResult r = runCommand({"session"}, {}, input);
    EXPECT_EQ(r.exitStatus, 0);
    const std::size_t firstEnd = r.out.find('\n');
    ASSERT_NE(firstEnd, std::string::npos) << r.out.substr(0, 200);
    EXPECT_EQ(json::parse(r.out.substr(0, firstEnd)),
              json::parse(R"({"usageError":"a line is longer than 64 MiB"})"));
    EXPECT_EQ(json::parse(r.out.substr(firstEnd + 1))["result"], 65537);
}

// String arguments given as "-" come from standard input, a line each, in
// order; a word of dashes only is the text one dash shorter.
TEST(CommandOneShot, StringArgumentsAreReadFromStandardInputWhenGivenAsADash) {
    const MethodSpec* symEncrypt = cli::findCallable("SymEncrypt");
    ASSERT_NE(symEncrypt, nullptr);
    struct Case {
        std::vector<std::string> words;
        std::string input;
        std::u16string text, password;
    };
    for (const Case& c : {
             Case{{"-", "-", "1", "0"}, "plain text\r\n0011\n", u"plain text", u"0011"},
             Case{{"x", "-", "1", "0"}, "only line", u"x", u"only line"},
             Case{{"--", "---", "1", "0"}, "", u"-", u"--"},
             Case{{"-", "--x", "1", "0"}, "\n", u"", u"--x"},
         }) {
        std::istringstream input(c.input);
        std::vector<Argument> arguments;
        ASSERT_FALSE(cli::toArguments(*symEncrypt, c.words, input, arguments)) << c.input;
        EXPECT_EQ(std::get<std::u16string>(arguments[0]), c.text) << c.input;
        EXPECT_EQ(std::get<std::u16string>(arguments[1]), c.password) << c.input;
    }
    std::istringstream oneLine("one line\n");
    std::vector<Argument> arguments;
    EXPECT_TRUE(cli::toArguments(*symEncrypt, {"-", "-", "1", "0"}, oneLine, arguments));

    // Through the command, the secret never on its command line.
    ProcessResult fromInput = runCommand({"Hash", "-", "3"}, {}, "secret\n");
    EXPECT_EQ(fromInput.exitStatus, 0) << fromInput.err;
    EXPECT_EQ(fromInput.out, runCommand({"Hash", "secret", "3"}).out);
    EXPECT_EQ(runCommand({"Hash", "--", "3"}).out, runCommand({"Hash", "-", "3"}, {}, "-\n").out);
    EXPECT_EQ(runCommand({"Hash", "-", "3"}, {}, "").exitStatus, 2);
}

TEST(CommandBig5, MessagesStayRightUnderABig5Locale) {
    for (const char* variable : {"LANG", "LC_ALL", "LC_CTYPE"}) {
        std::map<std::string, std::string> env{{"LANG", ""}, {"LC_ALL", ""}, {"LC_CTYPE", ""}};
        env[variable] = "zh_TW.Big5";
        EXPECT_EQ(runCommand({"GetErrorMsg"}, env).out, "成功(0)\n") << variable;
        ProcessResult r = runCommand({"session"}, env,
                                     "{\"method\":\"_SelectSignerINS@12\",\"args\":[0,0,0]}\n"
                                     "{\"method\":\"GetErrorMsg\"}\n");
        EXPECT_NE(r.out.find("\"result\":\"不支援的功能(5004)\""), std::string::npos) << r.out;
        ProcessResult failing = runCommand({"_SelectSignerINS@12", "0", "0", "0"}, env);
        EXPECT_EQ(failing.err, "error 5004: 不支援的功能(5004)\n");
    }
}

TEST(CommandDemo, RunsEveryStepInATemporaryHome) {
    ProcessResult r = runCommand({"demo"});
    EXPECT_EQ(r.exitStatus, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[1] "), std::string::npos);
    EXPECT_NE(r.out.find("every step as expected"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace pennaform::test
