// pennaform-testca install as a process of its own: what it installed is
// found by the next process (this test's) in the same home, and installs
// killed at any moment leave no key that no certificate names.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <set>
#include <thread>

#include "platform/AsciiCase.h"
#include "platform/PlatformFactory.h"
#include "support/Process.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"
#include "support/TestCertificates.h"

namespace pennaform::test {
namespace {

using namespace pennaform::platform;

// writeIdentityFiles: the identity as the tool's --cert and --key files,
// cert.der and key.pem in `folder`.
void writeIdentityFiles(const TemporaryFolder& folder, const TestIdentity& identity) {
    std::ofstream(folder.sub("cert.der"), std::ios::binary)
        .write(reinterpret_cast<const char*>(identity.certificateDer.data()),
               std::streamsize(identity.certificateDer.size()));
    std::ofstream(folder.sub("key.pem")) << identity.privateKeyPem;
}

TEST(TestcaInstallProcess, TheNextProcessFindsTheInstalledCertificateAndKey) {
    const std::string tool = testCaPath();
    TemporaryFolder folder;
    TestIdentity identity = makeTestIdentity("Installed", 1024);
    writeIdentityFiles(folder, identity);

    ProcessResult installed =
        runProcess({tool, "install", "--home", folder.sub("home"), "--store", "MY", "--cert",
                    folder.sub("cert.der"), "--key", folder.sub("key.pem")});
    ASSERT_EQ(installed.exitStatus, 0) << installed.err;

    auto platform = makePlatform(StateHome(folder.sub("home")));
    auto my = *platform->stores()->openSystemStore(SystemStore::kMy);
    auto certificates = *my->certificates();
    ASSERT_EQ(certificates.size(), 1u);
    EXPECT_EQ(certificates[0].encoded, identity.certificateDer);
    EXPECT_TRUE(my->acquirePrivateKey(certificates[0].id));
}

// KeyBindings: the containers of a home's database and the containers its
// certificates name, read straight from the file (names folded, as the
// containers are looked up).
struct KeyBindings {
    std::set<std::string> containers;
    std::set<std::string> named;
    int certificates = 0;
};

KeyBindings keyBindings(const std::string& database) {
    KeyBindings found;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return found;
    }
    auto each = [db](const char* sql, const std::function<void(sqlite3_stmt*)>& row) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) return;
        while (sqlite3_step(statement) == SQLITE_ROW) row(statement);
        sqlite3_finalize(statement);
    };
    each("SELECT folded_name FROM key_containers", [&](sqlite3_stmt* row) {
        found.containers.insert(reinterpret_cast<const char*>(sqlite3_column_text(row, 0)));
    });
    // The bound container's name is UTF-16LE; the names made here are ASCII.
    each("SELECT kpi_container FROM store_certificates", [&](sqlite3_stmt* row) {
        ++found.certificates;
        const auto* units = static_cast<const unsigned char*>(sqlite3_column_blob(row, 0));
        std::string name;
        for (int i = 0; i + 1 < sqlite3_column_bytes(row, 0); i += 2) name += char(units[i]);
        if (units != nullptr) found.named.insert(pennaform::asciiUppered(name));
    });
    sqlite3_close(db);
    return found;
}

TEST(TestcaInstallProcess, InstallsKilledAtRandomLeaveNoKeyThatNoCertificateNames) {
    const std::string tool = testCaPath();
    TemporaryFolder folder;
    TestIdentity identity = makeTestIdentity("Killed", 1024);
    writeIdentityFiles(folder, identity);
    const std::vector<std::string> install{tool,      "install",
                                           "--home",  folder.sub("home"),
                                           "--store", "MY",
                                           "--cert",  folder.sub("cert.der"),
                                           "--key",   folder.sub("key.pem")};
    const std::string database = folder.sub("home/pennaform.db");

    // One whole install first, to learn how long one takes.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(runProcess(install).exitStatus, 0);
    const auto installTime = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);

    std::mt19937 random(19);
    std::uniform_int_distribution<long> moment(0, installTime.count() * 5 / 4);
    int killed = 0;
    int finished = 0;
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        auto running = RunningProcess::start(install);
        ASSERT_TRUE(running);
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        running->kill(SIGKILL);
        (running->wait() == 128 + SIGKILL ? killed : finished)++;
        // Installed again, or killed at any moment: one certificate, bound to
        // the one container there is.
        KeyBindings bindings = keyBindings(database);
        EXPECT_EQ(bindings.certificates, 1);
        EXPECT_EQ(bindings.containers, bindings.named);
        EXPECT_EQ(bindings.containers.size(), 1u);
    }
    std::cout << "installs killed: " << killed << ", finished before the kill: " << finished
              << " (one install takes " << installTime.count() / 1000 << " ms)\n";
}

}  // namespace
}  // namespace pennaform::test
