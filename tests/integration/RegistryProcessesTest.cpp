// The registry and the environment from outside, through real `pennaform`
// processes: values shared between processes, a writer killed at once after
// its write returned, concurrent writers, protected mode and Big5 text.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/Process.h"
#include "support/SessionDriver.h"
#include "support/TemporaryFolder.h"

namespace pennaform::test {
namespace {

using nlohmann::json;

std::string writeLine(const std::string& address, const std::string& text) {
    return json{{"method", "RegWriteHKCUStr"}, {"args", {address, text}}}.dump() + "\n";
}
std::string readLine(const std::string& address) {
    return json{{"method", "RegReadHKCU"}, {"args", {address}}}.dump() + "\n";
}

std::vector<json> jsonLines(const std::string& out) {
    std::vector<json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(json::parse(out.substr(start, end - start)));
    }
    return lines;
}

// readValues: the values at the addresses, read by one fresh process.
std::vector<std::string> readValues(const std::string& home,
                                    const std::vector<std::string>& addresses) {
    std::string input;
    for (const std::string& address : addresses) input += readLine(address);
    ProcessResult r = runCommand({"--home", home, "session"}, {}, input);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    std::vector<std::string> values;
    for (const json& line : jsonLines(r.out)) {
        EXPECT_EQ(line["errorCode"], 0) << line.dump();
        values.push_back(line["result"].get<std::string>());
    }
    EXPECT_EQ(values.size(), addresses.size());
    return values;
}

std::string integrityOf(const std::string& databasePath) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(databasePath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_exec(
            db, "PRAGMA integrity_check",
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) = values[0] ? values[0] : "";
                return 0;
            },
            &result, nullptr);
    }
    sqlite3_close(db);
    return result;
}

std::string address(const std::string& prefix, int i) {
    return prefix + "\\Value" + std::to_string(i);
}

TEST(RegistryProcesses, AValueWrittenByOneProcessIsReadByTheNext) {
    TemporaryFolder folder;
    std::string home = folder.sub("home");
    ProcessResult write = runCommand({"--home", home, "RegWriteHKCUStr", "Settings\\Mode", "fast"});
    EXPECT_EQ(write.exitStatus, 0) << write.err;
    EXPECT_EQ(write.out, "0\n");
    ProcessResult number =
        runCommand({"--home", home, "RegWriteHKCUInt", "Settings\\Count", "4294967295"});
    EXPECT_EQ(number.out, "0\n");

    EXPECT_EQ(runCommand({"--home", home, "RegReadHKCU", "SETTINGS\\mode"}).out, "fast\n");
    EXPECT_EQ(runCommand({"--home", home, "RegReadHKCU", "Settings\\Count"}).out, "-1\n");
    ProcessResult elsewhere =
        runCommand({"--home", folder.sub("other"), "RegReadHKCU", "Settings\\Mode"});
    EXPECT_EQ(elsewhere.exitStatus, 1);
    EXPECT_EQ(elsewhere.err, "error 5906: 使用者權限不足(5906)\n");
}

TEST(RegistryProcesses, AWriterKilledRightAfterItsWriteReturnedLeavesTheWrite) {
    TemporaryFolder folder;
    std::string home = folder.sub("home");
    std::vector<std::string> addresses;
    for (int round = 0; round < 8; ++round) {
        auto writer = RunningProcess::start({commandPath(), "--home", home, "session"});
        ASSERT_TRUE(writer);
        addresses.push_back(address("Killed", round));
        ASSERT_TRUE(
            writer->writeAll(writeLine(addresses.back(), "value " + std::to_string(round))));
        std::optional<std::string> reply = writer->readLine();
        writer->kill(SIGKILL);  // the moment the write has returned
        ASSERT_TRUE(reply);
        EXPECT_EQ(json::parse(*reply)["errorCode"], 0) << *reply;
        EXPECT_EQ(writer->wait(), 128 + SIGKILL);
    }
    std::vector<std::string> values = readValues(home, addresses);
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(values[i], "value " + std::to_string(i));
    EXPECT_EQ(integrityOf(home + "/pennaform.db"), "ok");
}

TEST(RegistryProcesses, AWriterKilledInTheMiddleOfAStreamLosesNoAnsweredWrite) {
    TemporaryFolder folder;
    std::string home = folder.sub("home");
    constexpr int kSent = 400, kKillAfter = 150;
    auto writer = RunningProcess::start({commandPath(), "--home", home, "session"});
    ASSERT_TRUE(writer);
    std::string input;
    std::vector<std::string> addresses;
    for (int i = 0; i < kSent; ++i) {
        addresses.push_back(address("Stream", i));
        input += writeLine(addresses.back(), std::string(40, char('a' + i % 26)));
    }
    ASSERT_TRUE(writer->writeAll(input));
    int answered = 0;
    while (answered < kKillAfter) {
        std::optional<std::string> reply = writer->readLine();
        ASSERT_TRUE(reply);
        ASSERT_EQ(json::parse(*reply)["errorCode"], 0) << *reply;
        ++answered;
    }
    writer->kill(SIGKILL);  // later writes may be under way at this instant
    writer->wait();

    EXPECT_EQ(integrityOf(home + "/pennaform.db"), "ok");
    std::vector<std::string> values = readValues(home, addresses);
    ASSERT_EQ(values.size(), std::size_t(kSent));
    for (int i = 0; i < kSent; ++i) {
        std::string whole(40, char('a' + i % 26));
        if (i < answered) {
            EXPECT_EQ(values[std::size_t(i)], whole) << i;
        } else {
            EXPECT_TRUE(values[std::size_t(i)].empty() || values[std::size_t(i)] == whole) << i;
        }
    }
}

TEST(RegistryProcesses, TwoProcessesWriting500ValuesEachLoseNothing) {
    TemporaryFolder folder;
    std::string home = folder.sub("home");  // neither process finds a database yet
    constexpr int kEach = 500;
    std::string inputs[2];
    std::vector<std::string> addresses;
    for (int writer = 0; writer < 2; ++writer) {
        for (int i = 0; i < kEach; ++i) {
            addresses.push_back(address("Writer" + std::to_string(writer), i));
            inputs[writer] += writeLine(addresses.back(), std::to_string(writer * kEach + i));
        }
    }
    ProcessResult results[2];
    std::thread first([&] { results[0] = runCommand({"--home", home, "session"}, {}, inputs[0]); });
    std::thread second([&] {
        results[1] = runCommand({"--home", home, "session"}, {}, inputs[1]);
    });
    first.join();
    second.join();
    for (const ProcessResult& r : results) {
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        std::vector<json> replies = jsonLines(r.out);
        ASSERT_EQ(replies.size(), std::size_t(kEach));
        for (const json& reply : replies) EXPECT_EQ(reply["result"], 0) << reply.dump();
    }
    std::vector<std::string> values = readValues(home, addresses);
    ASSERT_EQ(values.size(), std::size_t(2 * kEach));
    for (int i = 0; i < 2 * kEach; ++i) EXPECT_EQ(values[std::size_t(i)], std::to_string(i));
}

TEST(RegistryProcesses, TwoSessionsOnOneHomeSeeEachOthersWritesAtOnce) {
    TemporaryFolder folder;
    std::vector<std::string> options{"--home", folder.sub("home")};
    auto first = SessionDriver::start(options);
    auto second = SessionDriver::start(options);
    ASSERT_TRUE(first && second);
    // Nothing asked, nothing answered: the read gives up instead of hanging.
    EXPECT_FALSE(first->readAnswer(std::chrono::milliseconds(100)));
    // Each write is read back at once by the other process, still running.
    for (int round = 0; round < 3; ++round) {
        SessionDriver& writer = round % 2 == 0 ? *first : *second;
        SessionDriver& reader = round % 2 == 0 ? *second : *first;
        std::string text = "round " + std::to_string(round);
        auto write = writer.call("RegWriteHKCUStr", "Shared\\Value", text);
        ASSERT_TRUE(write);
        EXPECT_EQ(write->result, 0);
        EXPECT_EQ(write->errorCode, 0);
        auto read = reader.call("RegReadHKCU", "Shared\\Value");
        ASSERT_TRUE(read);
        EXPECT_EQ(read->result, text) << round;
        EXPECT_EQ(read->errorCode, 0);
        EXPECT_EQ(read->capiError, 0u);
    }
    EXPECT_EQ(first->close(), 0);
    EXPECT_EQ(second->close(), 0);
}

TEST(RegistryProcesses, ProtectedModeFromOutside) {
    TemporaryFolder folder;
    std::string home = folder.sub("home");
    ProcessResult noBackslash =
        runCommand({"--protected-mode", "--home", home, "RegReadHKCU", "Mode"});
    EXPECT_EQ(noBackslash.exitStatus, 1);
    EXPECT_EQ(noBackslash.err, "error 5005: 錯誤的參數(5005)\n");
    ProcessResult refused =
        runCommand({"--protected-mode", "--home", home, "RegWriteHKCUStr", "Settings\\Mode", "x"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.out, "1500\n");
    EXPECT_EQ(refused.err,
              "error 1500: IE 受保護模式已啟動, 請加入信任網站, 並使用預設保護模式(關閉)(1500)\n");
    EXPECT_EQ(runCommand({"--protected-mode", "GetMacAddress"}).exitStatus, 1);
    ProcessResult version = runCommand({"--protected-mode", "GetVersion"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, "4.2.3.0\n");
    EXPECT_FALSE(std::filesystem::exists(home));
}

TEST(RegistryProcesses, Big5AddressesSplitAtCharactersNotBytes) {
    // In Big5 the second byte of 許 (B3 5C) and 功 (A5 5C) is a backslash.
    TemporaryFolder folder;
    std::string home = folder.sub("home");
    std::map<std::string, std::string> big5{{"LC_ALL", "zh_TW.Big5"}};
    std::map<std::string, std::string> utf8{{"LC_ALL", "C.UTF-8"}};
    ProcessResult write =
        runCommand({"--home", home, "RegWriteHKCUStr", "設定\\許功", "許功蓋"}, big5);
    EXPECT_EQ(write.exitStatus, 0) << write.err;
    EXPECT_EQ(runCommand({"--home", home, "RegReadHKCU", "設定\\許功"}, big5).out, "許功蓋\n");
    // The same key and value under another code page: the hive keeps text,
    // not the bytes of one code page.
    EXPECT_EQ(runCommand({"--home", home, "RegReadHKCU", "設定\\許功"}, utf8).out, "許功蓋\n");
    EXPECT_EQ(runCommand({"--home", home, "RegReadHKCU", "設定\\許"}, utf8).out, "\n");
}

}  // namespace
}  // namespace pennaform::test
