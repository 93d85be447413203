// The signer port shared by several processes on the POSIX backend: four
// writers saving and reading back different signers never see a torn one,
// and a process killed while it holds the lock does not stop them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/HexText.h"
#include "platform/posix/SharedMemory_posix.h"
#include "signing/SignerPort.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"

namespace pennaform::signing {
namespace {

using platform::Bytes;
using platform::Status;

constexpr int kWriters = 4;
constexpr int kRounds = 1000;

std::unique_ptr<platform::Platform> portPlatform(const std::string& home) {
    platform::PlatformServices services;
    services.sharedMemory = platform::makePosixSharedMemory(platform::StateHome(home));
    return std::make_unique<platform::Platform>(std::move(services));
}

// consistent: under one hold, the stored hash is the SHA-1 of the stored
// bytes, and a signer of the store carries no PFX fields.
bool consistent(SignerPort& port) {
    bool ok = false;
    (void)port.locked([&](PortEntries& entries) {
        std::optional<Bytes> bytes = entries.readBytes("signerCertBytes");
        const std::string hash = entries.readString("signerCertHash");
        const bool pfxFields = entries.exists("signerCertFilePath");
        ok = bytes && hash == upperHex(test::sha1Of(*bytes)) &&
             pfxFields == (entries.readInt("signerMedia") == signerMedia::kPfxFile);
        return Status::success();
    });
    return ok;
}

// writer: saves and checks its own signers; the exit status of the child.
int writer(const std::string& home, int id) {
    std::unique_ptr<platform::Platform> platform = portPlatform(home);
    SignerState state;
    std::optional<SignerPort> port = openSignerPort(state, *platform);
    if (!port) return 2;
    for (int round = 0; round < kRounds; ++round) {
        state.signerCertBytes =
            Bytes(std::size_t(200 + (round * 37 + id * 101) % 1500), std::uint8_t(id * 16 + round));
        state.signerCertHash = upperHex(test::sha1Of(state.signerCertBytes));
        state.signerMedia = round % 2 == 0 ? signerMedia::kPersonalStore : signerMedia::kPfxFile;
        state.signerCertFilePath = round % 2 == 0 ? "" : "/folder/" + std::to_string(id);
        saveSigner(*port, state);
        if (!consistent(*port)) return 1;
        std::optional<SavedSigner> saved = readSavedSigner(*port);
        if (!saved || (saved->media == signerMedia::kPersonalStore) != saved->folder.empty()) {
            return 1;
        }
    }
    return 0;
}

TEST(SignerPortProcesses, WritersNeverTearASignerAndADeadHolderFreesTheLock) {
    test::TemporaryFolder runtime, home;
    const char* previous = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> previousRuntime =
        previous != nullptr ? std::optional<std::string>(previous) : std::nullopt;
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    int held[2];
    ASSERT_EQ(::pipe(held), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        std::unique_ptr<platform::Platform> platform = portPlatform(home.path());
        SignerState state;
        std::optional<SignerPort> port = openSignerPort(state, *platform);
        (void)port->locked([&](PortEntries&) {
            (void)::write(held[1], "h", 1);
            ::pause();  // killed here, the lock still held
            return Status::success();
        });
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(held[0], &byte, 1), 1);
    std::vector<pid_t> writers;
    for (int id = 0; id < kWriters; ++id) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) _exit(writer(home.path(), id));
        writers.push_back(child);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(holder, SIGKILL);
    int status = 0;
    ::waitpid(holder, &status, 0);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (pid_t child : writers) {
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << child;
    }
    std::unique_ptr<platform::Platform> platform = portPlatform(home.path());
    SignerState state;
    std::optional<SignerPort> port = openSignerPort(state, *platform);
    ASSERT_TRUE(port);
    EXPECT_TRUE(consistent(*port));
    if (previousRuntime) {
        setenv("XDG_RUNTIME_DIR", previousRuntime->c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
}

}  // namespace
}  // namespace pennaform::signing
