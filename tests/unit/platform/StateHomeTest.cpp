#include "platform/StateHome.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

namespace pennaform::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kVariables[] = {"PENNAFORM_HOME", "XDG_DATA_HOME", "HOME",
                                      "PENNAFORM_MACHINE_HOME"};

// The variables StateHome reads are set per test and restored afterwards, as
// is the umask; each test works in a fresh temporary folder.
class StateHomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVariables) {
            const char* value = std::getenv(name);
            saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
            unsetenv(name);
        }
        savedUmask_ = umask(022);
        std::string pattern = (fs::temp_directory_path() / "statehome-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        umask(savedUmask_);
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    static mode_t modeOf(const fs::path& path) {
        struct stat info {};
        EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
        return info.st_mode & 07777;
    }

    fs::path root_;

private:
    std::map<std::string, std::optional<std::string>> saved_;
    mode_t savedUmask_ = 022;
};

TEST_F(StateHomeTest, UserFolderResolutionOrder) {
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(StateHome().userFolder(), "/home/u/.local/share/pennaform");

    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(StateHome().userFolder(), "/data/pennaform");

    setenv("PENNAFORM_HOME", "/state", 1);
    EXPECT_EQ(StateHome().userFolder(), "/state");

    EXPECT_EQ(StateHome("/cli/home").userFolder(), "/cli/home");
}

TEST_F(StateHomeTest, EmptyOrRelativeValuesAreSkipped) {
    setenv("HOME", "/home/u/", 1);
    setenv("XDG_DATA_HOME", "relative/data", 1);
    setenv("PENNAFORM_HOME", "", 1);
    EXPECT_EQ(StateHome(std::string()).userFolder(), "/home/u/.local/share/pennaform");

    setenv("XDG_DATA_HOME", "", 1);
    EXPECT_EQ(StateHome().userFolder(), "/home/u/.local/share/pennaform");
}

TEST_F(StateHomeTest, MissingHomeFallsBackToThePasswordDatabase) {
    const passwd* entry = getpwuid(geteuid());
    if (entry == nullptr || entry->pw_dir == nullptr || *entry->pw_dir == '\0') {
        GTEST_SKIP() << "no password database entry for this user";
    }
    std::string expected = entry->pw_dir;
    if (expected.back() != '/') expected += '/';
    EXPECT_EQ(StateHome().userFolder(), expected + ".local/share/pennaform");
}

TEST_F(StateHomeTest, MachineFolderAndDatabasePath) {
    StateHome defaults("/u");
    EXPECT_EQ(defaults.machineFolder(), "/etc/pennaform");
    EXPECT_EQ(defaults.databasePath(), "/u/pennaform.db");

    setenv("PENNAFORM_MACHINE_HOME", "/opt/machine", 1);
    StateHome configured("/u/");
    EXPECT_EQ(configured.machineFolder(), "/opt/machine");
    EXPECT_EQ(configured.databasePath(), "/u/pennaform.db");
}

TEST_F(StateHomeTest, ConstructionTouchesNoFile) {
    fs::path folder = root_ / "not-yet";
    StateHome home(folder.string());
    EXPECT_EQ(home.databasePath(), (folder / "pennaform.db").string());
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(StateHomeTest, CreatesPrivateFolderUnderAnyUmask) {
    for (mode_t mask : {mode_t{077}, mode_t{022}, mode_t{0}, mode_t{0277}}) {
        umask(mask);
        fs::path folder = root_ / ("home-" + std::to_string(mask));
        StateHome home(folder.string());
        Status status = home.ensureCreated();
        ASSERT_TRUE(status.ok()) << "umask " << std::oct << mask << " error " << status.error();
        EXPECT_TRUE(fs::is_directory(folder));
        EXPECT_EQ(modeOf(folder), 0700u) << "umask " << std::oct << mask;
    }
}

TEST_F(StateHomeTest, CreatesMissingParents) {
    for (mode_t mask : {mode_t{022}, mode_t{0277}}) {
        umask(mask);
        fs::path top = root_ / ("nest-" + std::to_string(mask));
        fs::path folder = top / "b" / "c";
        Status status = StateHome(folder.string() + "/").ensureCreated();
        ASSERT_TRUE(status.ok()) << "umask " << std::oct << mask << " error " << status.error();
        EXPECT_TRUE(fs::is_directory(folder));
        for (const fs::path& made : {top, top / "b", folder}) {
            EXPECT_EQ(modeOf(made), 0700u) << made << " umask " << std::oct << mask;
        }
    }
}

TEST_F(StateHomeTest, ExistingFolderIsAcceptedAndLeftAlone) {
    fs::path folder = root_ / "existing";
    ASSERT_TRUE(fs::create_directory(folder));
    ASSERT_EQ(chmod(folder.c_str(), 0750), 0);
    std::ofstream(folder / "keep") << "x";

    StateHome home(folder.string());
    EXPECT_TRUE(home.ensureCreated().ok());
    EXPECT_TRUE(home.ensureCreated().ok());
    EXPECT_EQ(modeOf(folder), 0750u);
    EXPECT_TRUE(fs::exists(folder / "keep"));
}

TEST_F(StateHomeTest, FileInTheWayIsRefused) {
    fs::path file = root_ / "plain";
    std::ofstream(file) << "data";

    EXPECT_EQ(StateHome(file.string()).ensureCreated().error(), errors::kErrorPathNotFound);
    EXPECT_EQ(StateHome((file / "below").string()).ensureCreated().error(),
              errors::kErrorPathNotFound);
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(fs::file_size(file), 4u);
}

TEST_F(StateHomeTest, RefusedPermissionIsAccessDenied) {
    fs::path locked = root_ / "locked";
    ASSERT_TRUE(fs::create_directory(locked));
    ASSERT_EQ(chmod(locked.c_str(), 0500), 0);
    fs::path folder = locked / "home";
    StateHome home(folder.string());

    // Run in a child: as root the child drops to an unprivileged user, since
    // root is never refused.
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(2);
            std::_Exit(home.ensureCreated().error() == errors::kErrorAccessDenied ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(fs::exists(folder));
    chmod(locked.c_str(), 0700);
}

}  // namespace
}  // namespace pennaform::platform
