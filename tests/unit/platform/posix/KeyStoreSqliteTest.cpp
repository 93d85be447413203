// The SQLite stores and key containers: the conformance suite, then what
// only this backend promises: who may read its files, and the upgrade of a
// database an older build made.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>

#include "unit/platform/KeyStoreConformance.h"
#include "platform/PlatformFactory.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"

namespace pennaform::platform::test {
namespace {

namespace fs = std::filesystem;
using pennaform::test::TemporaryFolder;

class SqliteKeyStoreHarness : public KeyStoreHarness {
public:
    SqliteKeyStoreHarness() : home_(folder_.sub("home")) {}
    std::unique_ptr<Platform> open() override { return makePlatform(home_); }
    const StateHome& home() const { return home_; }

private:
    TemporaryFolder folder_;
    StateHome home_;
};

INSTANTIATE_TEST_SUITE_P(
    Sqlite, KeyStoreConformance,
    ::testing::Values(KeyStoreBackend{
        "sqlite", [] { return std::unique_ptr<KeyStoreHarness>(new SqliteKeyStoreHarness); }}),
    [](const auto& info) { return info.param.name; });

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// UmaskGuard: sets the process umask for one test and puts it back.
class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : previous_(umask(mask)) {}
    ~UmaskGuard() { umask(previous_); }

private:
    mode_t previous_;
};

TEST(KeyStoreSqlite, KeysAndCertificatesAreReadableByTheirOwnerOnly) {
    UmaskGuard permissive(0);  // what a careless login shell might set
    SqliteKeyStoreHarness harness;
    auto platform = harness.open();
    auto container = platform->keys()->createContainer({"owner only", "", providerTypes::kRsaFull});
    ASSERT_TRUE(container);
    ASSERT_TRUE((*container)->generateKeyPair(KeySpec::kKeyExchange, 1024, keyFlags::kExportable));
    auto my = *platform->stores()->openSystemStore(SystemStore::kMy);
    ASSERT_TRUE(my->add(pennaform::test::makeTestIdentity("Owner", 1024).certificateDer, {},
                        AddDisposition::kAlways));

    const fs::path folder = harness.home().userFolder();
    EXPECT_EQ(modeOf(folder), 0700u);
    int files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().string());
        EXPECT_TRUE(entry.is_regular_file());
        EXPECT_EQ(modeOf(entry.path()), 0600u);
        ++files;
    }
    EXPECT_GE(files, 1);  // the database, with its WAL files while open
}

TEST(KeyStoreSqlite, ADatabaseOfTheRegistryOnlyGetsTheNewTables) {
    TemporaryFolder folder;
    StateHome home(folder.sub("home"));
    ASSERT_TRUE(home.ensureCreated());
    {
        // The tables of schema version 1, as the previous build left them.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(home.databasePath().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "CREATE TABLE registry_keys (folded_path TEXT PRIMARY KEY, "
                               "parent_path TEXT, name TEXT, folded_name TEXT);"
                               "CREATE TABLE registry_values (key_path TEXT, folded_name TEXT, "
                               "name TEXT, type INTEGER, data BLOB, PRIMARY KEY (key_path, "
                               "folded_name)); PRAGMA user_version = 1;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    auto platform = makePlatform(home);
    auto my = *platform->stores()->openSystemStore(SystemStore::kMy);
    Outcome<std::vector<StoredCertificate>> none = my->certificates();
    ASSERT_TRUE(none) << std::hex << none.error();
    EXPECT_TRUE(none->empty());
    EXPECT_EQ(platform->keys()->openContainer({"c", "", 1}).error(), errors::kNteBadKeyset);
    EXPECT_TRUE(platform->keys()->createContainer({"c", "", 1}));
}

}  // namespace
}  // namespace pennaform::platform::test
