// Processes killed in the middle: a password change killed at random
// points leaves the old file or the new one, and an import killed between
// its key containers and "MY" leaves neither.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <random>

#include "pfx/PfxOperationsSupport.h"
#include "pfx/PfxStore.h"
#include "platform/CodePage.h"

namespace pennaform::test {
namespace {

namespace fs = std::filesystem;

// opensWithOnly: 1 when the file opens with `first` only, 2 with `second`
// only, 0 otherwise (broken, empty, or both).
int opensWithOnly(platform::Pkcs12& pkcs12, const std::string& path, const std::string& first,
                  const std::string& second) {
    auto bytes = fileBytes(path);
    if (!pkcs12.isPfx(bytes)) return 0;
    bool withFirst = pkcs12.verifyPassword(bytes, toWide(first));
    bool withSecond = pkcs12.verifyPassword(bytes, toWide(second));
    if (withFirst == withSecond) return 0;
    return withFirst ? 1 : 2;
}

TEST_F(PfxOperationsTest, APasswordChangeKilledAtRandomLeavesTheOldOrTheNewFile) {
    std::string path = folder_.sub("d.pfx");
    userPfx(path, "Durable", "pw0");
    std::string current = "pw0";
    auto startChange = [&](const std::string& next) {
        pid_t child = ::fork();
        if (child == 0) {
            Engine changer(EngineConfig{folder_.sub("home"), false});
            int code = changer.ChangePfxPasswd(u(folder_.path()), u"d.pfx", u(current), u(next), 0);
            ::_exit(code == 0 ? 0 : 1);
        }
        return child;
    };
    // One whole change, timed, so that the kills fall before, inside and
    // after its steps.
    auto began = std::chrono::steady_clock::now();
    pid_t timed = startChange("pw0");
    ASSERT_GE(timed, 0);
    int timedStatus = 0;
    ASSERT_EQ(::waitpid(timed, &timedStatus, 0), timed);
    ASSERT_TRUE(WIFEXITED(timedStatus) && WEXITSTATUS(timedStatus) == 0);
    auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
                     std::chrono::steady_clock::now() - began)
                     .count();
    std::mt19937 random(20261208);
    std::uniform_int_distribution<long> delay(0, whole * 6 / 5);
    int finished = 0, killed = 0;
    for (int run = 1; run <= 100; ++run) {
        std::string next = "pw" + std::to_string(run);
        pid_t child = startChange(next);
        ASSERT_GE(child, 0);
        ::usleep(useconds_t(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (WIFEXITED(status)) {
            ASSERT_EQ(WEXITSTATUS(status), 0) << "run " << run;
            ++finished;
        } else {
            ++killed;
        }
        int opens = opensWithOnly(*engine_.platform().pkcs12(), path, current, next);
        ASSERT_NE(opens, 0) << "run " << run << ": the file opens with neither password";
        if (opens == 2) current = next;
    }
    std::cout << "password changes finished: " << finished << ", killed: " << killed << "\n";
    EXPECT_GT(finished, 0);
    EXPECT_GT(killed, 0);
    // A later run finds what the killed ones left and is not disturbed.
    EXPECT_EQ(engine_.ChangePfxPasswd(u(folder_.path()), u"d.pfx", u(current), u"last", 0), 0);
    EXPECT_EQ(opensWithOnly(*engine_.platform().pkcs12(), path, current, "last"), 2);
    for (const auto& entry : fs::directory_iterator(folder_.path())) {
        EXPECT_TRUE(entry.path().filename() == "d.pfx" || !entry.is_regular_file() ||
                    entry.path().filename().string().rfind("d.pfx.", 0) == 0)
            << entry.path();
    }
}

TEST_F(PfxOperationsTest, AnImportKilledBeforeItsCertificateIsAddedLeavesNoKey) {
    userPfx(folder_.sub("in.pfx"), "Killed", "pw");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Engine importer(EngineConfig{folder_.sub("home"), false});
        platform::Platform& platform = importer.platform();
        (void)platform.stores()->changeTogether([&]() -> platform::Status {
            PfxStore holder(platform);
            if (loadPfx(holder, folder_.sub("in.pfx"), "pw", 1, PfxKeyStorage::kPersisted) == 0) {
                ::raise(SIGKILL);  // the containers are made, "MY" not yet changed
            }
            ::_exit(3);
        });
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the import did not get as far as its containers";
    EXPECT_LE(containerCount(), 0);
    EXPECT_EQ(engine_.GetIECertCount(), 0);
    EXPECT_EQ(engine_.ImportPfxToIE(u(folder_.path()), u"in.pfx", u"pw", 1, 0), 0);
    EXPECT_EQ(containerCount(), 1);
}

}  // namespace
}  // namespace pennaform::test
