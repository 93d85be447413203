// The SQLite hives: the conformance suite, then what only this backend
// promises: its files and their modes, the machine hive file, the schema
// version, and all-or-nothing changes.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

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
        auto insert =
            c.prepare("INSERT INTO registry_keys (parent, name, folded_name) VALUES (0, ?1, ?1)");
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

// fileSize: the size of a file, 0 when there is none.
std::uintmax_t fileSize(const std::string& path) {
    std::error_code missing;
    std::uintmax_t size = fs::file_size(path, missing);
    return missing ? 0 : size;
}

TEST_F(SqliteFiles, ADeepKeyTakesStorageInProportionToItsPath) {
    // The deepest, longest path accepted: 512 names of 255 characters.
    std::string path;
    for (int depth = 0; depth < 512; ++depth) {
        if (depth > 0) path += '\\';
        path += std::string(254, char('a' + depth % 26)) + char('A' + depth / 26);
    }
    auto database = [&] {
        return fileSize(home_.databasePath()) + fileSize(home_.databasePath() + "-wal");
    };
    {
        auto registry = makeSqliteRegistry(StateDatabase::userDatabase(home_),
                                           StateDatabase::machineDatabase(""));
        ASSERT_TRUE(
            (*registry->createKey("Start"))->setValue("", ValueType::kString, bytesOf("x")));
    }
    const std::uintmax_t before = database();
    {
        auto registry = makeSqliteRegistry(StateDatabase::userDatabase(home_),
                                           StateDatabase::machineDatabase(""));
        auto key = registry->createKey(path);
        ASSERT_TRUE(key.ok()) << key.error();
        ASSERT_TRUE((*key)->setValue("Deep", ValueType::kString, bytesOf("value")));
    }
    EXPECT_LT(database() - before, 4 * path.size());
    auto registry =
        makeSqliteRegistry(StateDatabase::userDatabase(home_), StateDatabase::machineDatabase(""));
    auto key = registry->openKey(Hive::kCurrentUser, path);
    ASSERT_TRUE(key.ok()) << key.error();
    EXPECT_EQ((*key)->queryValue("deep")->data, bytesOf("value"));
}

TEST_F(SqliteFiles, AHomeOfTheEarlierKeyTablesIsReadAfterTheUpgrade) {
    ASSERT_TRUE(home_.ensureCreated());
    // The tables of schema version 3, which kept every key's whole path.
    runSql(home_.databasePath(), R"sql(
CREATE TABLE registry_keys (folded_path TEXT NOT NULL PRIMARY KEY, parent_path TEXT NOT NULL,
  name TEXT NOT NULL, folded_name TEXT NOT NULL) WITHOUT ROWID;
CREATE INDEX registry_keys_by_parent ON registry_keys (parent_path, folded_name);
CREATE TABLE registry_values (key_path TEXT NOT NULL, folded_name TEXT NOT NULL,
  name TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,
  PRIMARY KEY (key_path, folded_name)) WITHOUT ROWID;
INSERT INTO registry_keys VALUES ('SOFTWARE', '', 'Software', 'SOFTWARE'),
  ('SOFTWARE\VENDOR', 'SOFTWARE', 'Vendor', 'VENDOR'),
  ('SOFTWARE\VENDOR\APP', 'SOFTWARE\VENDOR', 'App', 'APP'),
  ('SOFTWARE\VENDOR2', 'SOFTWARE', 'Vendor2', 'VENDOR2');
INSERT INTO registry_values VALUES ('', 'TOP', 'Top', 4, x'01000000'),
  ('SOFTWARE\VENDOR\APP', 'MODE', 'Mode', 1, x'6f006e00'),
  ('SOFTWARE\VENDOR2', '', '', 3, x'0102');
PRAGMA user_version = 3;
)sql");
    auto registry =
        makeSqliteRegistry(StateDatabase::userDatabase(home_), StateDatabase::machineDatabase(""));
    auto root = registry->openKey(Hive::kCurrentUser, "");
    ASSERT_TRUE(root.ok());
    auto top = (*root)->queryValue("top");
    ASSERT_TRUE(top.ok()) << top.error();
    EXPECT_EQ(top->data, (Bytes{1, 0, 0, 0}));
    auto app = registry->openKey(Hive::kCurrentUser, "software\\vendor\\app");
    ASSERT_TRUE(app.ok()) << app.error();
    EXPECT_EQ((*app)->queryValue("MODE")->data, bytesOf("on"));
    auto vendor2 = registry->openKey(Hive::kCurrentUser, "Software\\Vendor2");
    ASSERT_TRUE(vendor2.ok());
    EXPECT_EQ((*vendor2)->queryValue("")->data, (Bytes{1, 2}));
    auto software = registry->openKey(Hive::kCurrentUser, "Software");
    EXPECT_EQ(*(*software)->subkeyName(0), "Vendor");
    EXPECT_EQ(*(*software)->subkeyName(1), "Vendor2");
    // Keys made after the upgrade sit beside the upgraded ones.
    ASSERT_TRUE(registry->createKey("Software\\Vendor\\Other"));
    EXPECT_TRUE(registry->deleteKeyTree(Hive::kCurrentUser, "Software\\Vendor\\App"));
    EXPECT_EQ(*(*registry->openKey(Hive::kCurrentUser, "Software\\Vendor"))->subkeyName(0),
              "Other");
}

// A machine hive is read through a link, but anything that is not a
// regular file is refused at once: SQLite would wait forever opening a FIFO.
TEST_F(SqliteFiles, AMachineHiveIsAFileOrALinkToOne) {
    StateHome scratch(folder_.sub("scratch"));
    {
        auto registry = makeSqliteRegistry(StateDatabase::userDatabase(scratch),
                                           StateDatabase::machineDatabase(""));
        ASSERT_TRUE((*registry->createKey("Policy"))
                        ->setValue("Level", ValueType::kDword, Bytes{3, 0, 0, 0}));
    }
    const std::string linked = folder_.sub("linked.db");
    fs::create_symlink(scratch.databasePath(), linked);
    const std::string fifo = folder_.sub("fifo.db");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = folder_.sub("folder.db");
    fs::create_directory(folder);
    struct Case {
        std::string path;
        PlatformError error;
    };
    for (const Case& hive : {Case{linked, 0}, Case{fifo, errors::kErrorFileCorrupt},
                             Case{folder, errors::kErrorFileCorrupt}}) {
        SCOPED_TRACE(hive.path);
        auto answers = [&] {
            auto registry = makeSqliteRegistry(StateDatabase::userDatabase(home_),
                                               StateDatabase::machineDatabase(hive.path));
            auto key = registry->openKey(Hive::kLocalMachine, "Policy");
            if (hive.error != 0) return key.error() == hive.error;
            return key.ok() && (*key)->queryValue("level")->data == Bytes{3, 0, 0, 0};
        };
        // In a child, with an alarm, so that a hang fails the test instead
        // of stopping the run.
        EXPECT_EXIT(
            {
                alarm(20);
                std::_Exit(answers() ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
    }
}

// A database another program truncates in place (a restore, a sync tool)
// under a reader in the middle of its query: the rows read from then on, and
// the next reads, answer with data or a code; nothing faults. In a child, so
// that a fault fails the test instead of the run.
TEST_F(SqliteFiles, ADatabaseTruncatedWhileReadAnswersWithCodes) {
    {
        auto registry = makeSqliteRegistry(StateDatabase::userDatabase(home_),
                                           StateDatabase::machineDatabase(""));
        auto key = registry->createKey("Bulk");
        ASSERT_TRUE(key.ok());
        const Bytes data(3000, 0x5A);
        for (int i = 0; i < 300; ++i) {
            ASSERT_TRUE((*key)->setValue("v" + std::to_string(i), ValueType::kBinary, data));
        }
    }
    EXPECT_EXIT(
        {
            auto database = StateDatabase::userDatabase(home_);
            auto reader = database->reader();
            if (!reader) std::_Exit(2);
            auto query = (*reader)->prepare("SELECT data FROM registry_values");
            if (!query || !query->step().valueOr(false)) std::_Exit(3);
            if (truncate(home_.databasePath().c_str(), 8192) != 0) std::_Exit(4);
            while (query->step().valueOr(false)) {
            }
            auto registry = makeSqliteRegistry(database, StateDatabase::machineDatabase(""));
            auto key = registry->openKey(Hive::kCurrentUser, "Bulk");
            if (key) (void)(*key)->queryValue("v299");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace pennaform::platform::test
