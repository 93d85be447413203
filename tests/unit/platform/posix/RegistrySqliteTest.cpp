// The SQLite hives: the conformance suite, then what only this backend
// promises: its files and their modes, the machine hive file, the schema
// version, and all-or-nothing changes.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/posix/Registry_sqlite.h"
#include "platform/posix/StateDatabase.h"
#include "support/TemporaryFolder.h"
#include "unit/platform/RegistryConformance.h"

namespace pennaform::platform::test {
namespace {

namespace fs = std::filesystem;
using pennaform::test::TemporaryFolder;

class SqliteHarness : public RegistryHarness {
public:
    SqliteHarness() : home_(folder_.sub("user")) {}
    std::unique_ptr<Registry> open() override {
        return makeSqliteRegistry(
            StateDatabase::userDatabase(home_),
            StateDatabase::machineDatabase(folder_.sub("machine/machine.db")));
    }

private:
    TemporaryFolder folder_;
    StateHome home_;
};

INSTANTIATE_TEST_SUITE_P(Sqlite, RegistryConformance,
                         ::testing::Values(RegistryBackend{
                             "sqlite",
                             [] { return std::unique_ptr<RegistryHarness>(new SqliteHarness); }}),
                         [](const auto& info) { return info.param.name; });

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// runSql: one statement on a database of the test's own.
void runSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    std::string text = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(result, SQLITE_OK) << text;
}

class SqliteFiles : public ::testing::Test {
protected:
    TemporaryFolder folder_;
    StateHome home_{folder_.sub("home/nested")};
};

TEST_F(SqliteFiles, ReadingCreatesNothing) {
    auto registry = makeSqliteRegistry(StateDatabase::userDatabase(home_),
                                       StateDatabase::machineDatabase(folder_.sub("m.db")));
    auto root = registry->openKey(Hive::kCurrentUser, "");
    ASSERT_TRUE(root.ok());
    EXPECT_FALSE((*root)->queryValue("x").ok());
    EXPECT_FALSE(fs::exists(folder_.sub("home")));
    EXPECT_FALSE(fs::exists(folder_.sub("m.db")));
}

TEST_F(SqliteFiles, TheFirstWriteMakesAPrivateFolderAndFileInWalMode) {
    mode_t saved = umask(0);
    auto database = StateDatabase::userDatabase(home_);
    auto registry = makeSqliteRegistry(database, StateDatabase::machineDatabase(""));
    auto key = registry->createKey("K");
    umask(saved);
    ASSERT_TRUE(key.ok()) << key.error();
    ASSERT_TRUE((*key)->setValue("v", ValueType::kDword, Bytes{1, 0, 0, 0}).ok());

    EXPECT_EQ(modeOf(folder_.sub("home")), 0700u);
    EXPECT_EQ(modeOf(home_.userFolder()), 0700u);
    EXPECT_EQ(modeOf(home_.databasePath()), 0600u);
    // The journal files exist while the database is open and take its mode.
    EXPECT_EQ(modeOf(home_.databasePath() + "-wal"), 0600u);
    EXPECT_EQ(modeOf(home_.databasePath() + "-shm"), 0600u);

    auto reader = database->reader();
    ASSERT_TRUE(reader.ok());
    auto mode = (*reader)->prepare("PRAGMA journal_mode");
    ASSERT_TRUE(mode.ok());
    ASSERT_TRUE(*mode->step());
    EXPECT_EQ(mode->columnText(0), "wal");
    EXPECT_EQ(*(*reader)->schemaVersion(), StateDatabase::kSchemaVersion);
}

TEST_F(SqliteFiles, AnExistingOpenFileIsMadePrivateAtTheFirstChange) {
    ASSERT_TRUE(StateDatabase::userDatabase(home_)
                    ->write([](Connection&) { return Status::success(); })
                    .ok());
    fs::permissions(home_.databasePath(), fs::perms(0644));
    auto database = StateDatabase::userDatabase(home_);
    ASSERT_TRUE(database->reader().ok());
    EXPECT_EQ(modeOf(home_.databasePath()), 0644u) << "reading changes nothing";
    ASSERT_TRUE(database->write([](Connection&) { return Status::success(); }).ok());
    EXPECT_EQ(modeOf(home_.databasePath()), 0600u);
}

TEST_F(SqliteFiles, AFailedOrThrowingChangeLeavesNothing) {
    auto database = StateDatabase::userDatabase(home_);
    auto registry = makeSqliteRegistry(database, StateDatabase::machineDatabase(""));
    ASSERT_TRUE(registry->createKey("Kept").ok());

    auto insertKey = [](Connection& c, const char* path) {
        auto insert = c.prepare(
            "INSERT INTO registry_keys (folded_path, parent_path, name, folded_name) "
            "VALUES (?1, '', ?1, ?1)");
        return insert ? insert->bindText(1, path).execute() : Status(insert.failure());
    };
    Status failed = database->write([&](Connection& c) -> Status {
        EXPECT_TRUE(insertKey(c, "HALF").ok());
        return fail(errors::kErrorDiskFull);
    });
    EXPECT_EQ(failed.error(), errors::kErrorDiskFull);
    auto throwing = [&](Connection& c) -> Status {
        EXPECT_TRUE(insertKey(c, "THROWN").ok());
        throw std::runtime_error("interrupted");
    };
    EXPECT_THROW((void)database->write(throwing), std::runtime_error);

    EXPECT_EQ(registry->openKey(Hive::kCurrentUser, "Half").error(), errors::kErrorFileNotFound);
    EXPECT_EQ(registry->openKey(Hive::kCurrentUser, "Thrown").error(), errors::kErrorFileNotFound);
    // The connection is usable again after both.
    EXPECT_TRUE(registry->createKey("After").ok());
    EXPECT_TRUE(registry->openKey(Hive::kCurrentUser, "Kept").ok());
}

TEST_F(SqliteFiles, ADatabaseOfANewerSchemaIsRefused) {
    auto first = StateDatabase::userDatabase(home_);
    ASSERT_TRUE(first->write([](Connection&) { return Status::success(); }).ok());
    runSql(home_.databasePath(), "PRAGMA user_version = 99");

    auto database = StateDatabase::userDatabase(home_);
    EXPECT_EQ(database->reader().error(), errors::kErrorNotSupported);
    EXPECT_EQ(database->write([](Connection&) { return Status::success(); }).error(),
              errors::kErrorNotSupported);
}

TEST_F(SqliteFiles, MachineHiveIsACopyOfAUserDatabase) {
    // As the README describes: write the values into a scratch home, then
    // VACUUM INTO the machine hive file.
    StateHome scratch(folder_.sub("scratch"));
    {
        auto registry = makeSqliteRegistry(StateDatabase::userDatabase(scratch),
                                           StateDatabase::machineDatabase(""));
        auto key = registry->createKey("Software\\QUVO\\Pennaform");
        ASSERT_TRUE(key.ok());
        ASSERT_TRUE((*key)->setValue("Mode", ValueType::kString, bytesOf("central")).ok());
    }
    std::string machinePath = folder_.sub("machine.db");
    runSql(scratch.databasePath(), "VACUUM INTO '" + machinePath + "'");

    auto machine = StateDatabase::machineDatabase(machinePath);
    auto registry = makeSqliteRegistry(StateDatabase::userDatabase(home_), machine);
    auto key = registry->openKey(Hive::kLocalMachine, "software\\quvo\\PENNAFORM");
    ASSERT_TRUE(key.ok()) << key.error();
    auto value = (*key)->queryValue("mode");
    ASSERT_TRUE(value.ok());
    EXPECT_EQ(value->data, bytesOf("central"));
    EXPECT_EQ((*key)->setValue("Mode", ValueType::kString, bytesOf("x")).error(),
              errors::kErrorAccessDenied);
    EXPECT_EQ(machine->write([](Connection&) { return Status::success(); }).error(),
              errors::kErrorAccessDenied);
    EXPECT_EQ(registry->openKey(Hive::kCurrentUser, "Software").error(),
              errors::kErrorFileNotFound);
}

TEST_F(SqliteFiles, AMachineHiveInAFolderTheUserCannotWriteIsRead) {
    StateHome scratch(folder_.sub("scratch"));
    {
        auto registry = makeSqliteRegistry(StateDatabase::userDatabase(scratch),
                                           StateDatabase::machineDatabase(""));
        auto key = registry->createKey("Policy");
        ASSERT_TRUE(key.ok());
        ASSERT_TRUE((*key)->setValue("Level", ValueType::kDword, Bytes{3, 0, 0, 0}).ok());
    }
    fs::path machineFolder = fs::path(folder_.path()) / "etc";
    fs::create_directory(machineFolder);
    std::string machinePath = (machineFolder / "machine.db").string();
    runSql(scratch.databasePath(), "VACUUM INTO '" + machinePath + "'");
    fs::permissions(folder_.path(), fs::perms(0755));
    fs::permissions(machineFolder, fs::perms(0555));
    fs::permissions(machinePath, fs::perms(0444));

    // Read in a child that, when the test runs as root, becomes a user who
    // cannot write the folder (root can write anything).
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(2);
            auto registry = makeSqliteRegistry(StateDatabase::userDatabase(home_),
                                               StateDatabase::machineDatabase(machinePath));
            auto key = registry->openKey(Hive::kLocalMachine, "POLICY");
            if (!key) std::_Exit(3);
            auto value = (*key)->queryValue("level");
            std::_Exit(value.ok() && value->data == Bytes{3, 0, 0, 0} ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(fs::exists(machinePath + "-wal"));
    fs::permissions(machineFolder, fs::perms(0755));
}

TEST_F(SqliteFiles, AMachineHiveThatIsNoDatabaseFailsToOpenKeys) {
    std::string machinePath = folder_.sub("machine.db");
    std::ofstream(machinePath) << "this is not a database, but long enough to have a header.....";
    auto registry = makeSqliteRegistry(StateDatabase::userDatabase(home_),
                                       StateDatabase::machineDatabase(machinePath));
    EXPECT_EQ(registry->openKey(Hive::kLocalMachine, "Software").error(),
              errors::kErrorFileCorrupt);
}

}  // namespace
}  // namespace pennaform::platform::test
