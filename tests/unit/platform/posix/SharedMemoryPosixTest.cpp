// The POSIX session blocks and events: where they live and who may own them,
// the lock two opens share, their lifetime, and events that wake a waiter in
// another process.
#include "platform/posix/SharedMemory_posix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/TemporaryFolder.h"

namespace pennaform::platform {
namespace {

namespace fs = std::filesystem;
using test::TemporaryFolder;

constexpr std::uint32_t kOtherUser = 54321;

class SharedMemoryPosix : public ::testing::Test {
protected:
    SharedMemoryPosix() {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) previous_ = old;
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
    }
    ~SharedMemoryPosix() override {
        if (previous_) {
            setenv("XDG_RUNTIME_DIR", previous_->c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }
    std::unique_ptr<SharedMemory> memory(const std::string& home = "home") {
        return makePosixSharedMemory(StateHome(homes_.sub(home)));
    }
    std::string folder() const { return runtime_.sub("pennaform"); }
    // onlyFile: the one file in the session folder.
    std::string onlyFile() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder())) names.push_back(entry.path());
        EXPECT_EQ(names.size(), 1u);
        return names.empty() ? "" : names[0];
    }

    TemporaryFolder runtime_, homes_;
    std::optional<std::string> previous_;
};

mode_t modeOf(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

TEST_F(SharedMemoryPosix, ABlockIsTheUsersAloneAndOutlivesItsHandles) {
    std::unique_ptr<SharedMemory> shared = memory();
    {
        auto block = shared->openBlock("Pennaform Module", 20480);
        ASSERT_TRUE(block) << block.error();
        EXPECT_TRUE((*block)->created());
        EXPECT_EQ((*block)->size(), 20480u);
        ASSERT_TRUE((*block)->access([](std::span<std::uint8_t> bytes) {
            EXPECT_EQ(bytes.size(), 20480u);
            bytes[100] = 42;
            return Status::success();
        }));
    }
    EXPECT_EQ(modeOf(folder()), 0700u);
    const std::string file = onlyFile();
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(fs::path(file).filename().string().rfind("block-Pennaform%20Module.", 0), 0u) << file;

    // Reopened after every handle closed: the same block, not created again.
    auto again = shared->openBlock("Pennaform Module", 512);
    ASSERT_TRUE(again);
    EXPECT_FALSE((*again)->created());
    EXPECT_EQ((*again)->size(), 20480u);
    (void)(*again)->access([](std::span<std::uint8_t> bytes) {
        EXPECT_EQ(bytes[100], 42);
        return Status::success();
    });
    // Another home never meets it; a name cannot leave the folder.
    auto elsewhere = memory("other")->openBlock("Pennaform Module", 20480);
    ASSERT_TRUE(elsewhere);
    EXPECT_TRUE((*elsewhere)->created());
    ASSERT_TRUE(shared->openEvent("../../escape"));
    for (const auto& entry : fs::directory_iterator(runtime_.path())) {
        EXPECT_EQ(entry.path().filename(), "pennaform");
    }
    EXPECT_EQ(shared->openBlock("x", 0).error(), errors::kEInvalidArg);
}

TEST_F(SharedMemoryPosix, ABlockOrFolderNotTheUsersAloneIsRefused) {
    std::string blockFile;
    {
        ASSERT_TRUE(memory()->openBlock("Pennaform Module", 20480));
        blockFile = onlyFile();
    }
    struct Plant {
        const char* what;
        bool needsRoot;
        void (*plant)(const std::string& folder, const std::string& file);
    } plants[] = {
        {"a block of mode 0666", false,
         [](const std::string&, const std::string& file) { ::chmod(file.c_str(), 0666); }},
        {"a block that is a link", false,
         [](const std::string& folder, const std::string& file) {
             fs::rename(file, folder + "/target");
             fs::create_symlink(folder + "/target", file);
         }},
        {"a block of another user", true,
         [](const std::string&, const std::string& file) {
             ASSERT_EQ(::chown(file.c_str(), kOtherUser, kOtherUser), 0);
         }},
        {"a folder of mode 0777", false,
         [](const std::string& folder, const std::string&) { ::chmod(folder.c_str(), 0777); }},
        {"a folder of another user", true,
         [](const std::string& folder, const std::string&) {
             ASSERT_EQ(::chown(folder.c_str(), kOtherUser, kOtherUser), 0);
         }},
        {"a folder that is a link", false,
         [](const std::string& folder, const std::string&) {
             fs::rename(folder, folder + ".real");
             fs::create_symlink(folder + ".real", folder);
         }},
    };
    for (const Plant& plant : plants) {
        if (plant.needsRoot && ::geteuid() != 0) continue;  // only root can give a file away
        fs::remove_all(folder());
        fs::remove_all(folder() + ".real");
        ASSERT_TRUE(memory()->openBlock("Pennaform Module", 20480)) << plant.what;
        plant.plant(folder(), blockFile);
        auto refused = memory()->openBlock("Pennaform Module", 20480);
        EXPECT_EQ(refused.error(), errors::kErrorAccessDenied) << plant.what;
        // A folder refused refuses its events as well.
        const bool folderPlanted =
            std::string_view(plant.what).find("folder") != std::string_view::npos;
        EXPECT_EQ(memory()->openEvent("Pennaform Module_Event").ok(), !folderPlanted) << plant.what;
    }
}

TEST_F(SharedMemoryPosix, TwoOpensInOneProcessExcludeEachOther) {
    auto first = memory()->openBlock("lock", 64);
    auto second = memory()->openBlock("lock", 64);
    ASSERT_TRUE(first && second);
    std::atomic<bool> inside{false}, overlapped{false};
    auto hold = [&](SharedBlock& block) {
        for (int round = 0; round < 50; ++round) {
            (void)block.access([&](std::span<std::uint8_t> bytes) {
                if (inside.exchange(true)) overlapped = true;
                ++bytes[0];
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                inside = false;
                return Status::success();
            });
        }
    };
    std::thread other([&] { hold(**second); });
    hold(**first);
    other.join();
    EXPECT_FALSE(overlapped);
    (void)(*first)->access([](std::span<std::uint8_t> bytes) {
        EXPECT_EQ(bytes[0], 100);
        return Status::success();
    });
}

TEST_F(SharedMemoryPosix, ASetEventWakesAWaiterInAnotherProcess) {
    std::unique_ptr<SharedMemory> shared = memory();
    auto event = shared->openEvent("signerMedia_Event");
    ASSERT_TRUE(event);
    EXPECT_EQ(*(*event)->wait(10), false);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto waiting = memory()->openEvent("signerMedia_Event");
        _exit(waiting && (*waiting)->wait(10000).valueOr(false) ? 0 : 1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE((*event)->set());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Manual reset: it stays set until reset.
    EXPECT_EQ(*(*event)->wait(0), true);
    ASSERT_TRUE((*event)->reset());
    EXPECT_EQ(*(*event)->wait(0), false);
}

}  // namespace
}  // namespace pennaform::platform
