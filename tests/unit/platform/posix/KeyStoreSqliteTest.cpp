// The SQLite stores and key containers: the conformance suite, then what
// only this backend promises: who may read its files, what a home it may
// not write gives, and the upgrade of a database an older build made.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "platform/PlatformFactory.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"
#include "unit/platform/KeyStoreConformance.h"

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

// whileUnwritable: runs `prepare` in a child process, then takes the
// right to write the home away from it (the folder 0500, the database 0400,
// and, since root writes whatever the modes say, the uid and gid 65534 when
// the test runs as root) and runs `attempt`, which gives the errors seen.
// The modes are put back once the child has ended.
using Attempt = std::function<std::vector<PlatformError>()>;
std::vector<PlatformError> whileUnwritable(const StateHome& home,
                                           const std::function<Attempt(Platform&)>& prepare) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        auto platform = makePlatform(home);
        Attempt attempt = prepare(*platform);
        bool dropped = chmod(home.databasePath().c_str(), 0400) == 0 &&
                       chmod(home.userFolder().c_str(), 0500) == 0 &&
                       (geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0));
        std::vector<PlatformError> seen = dropped ? attempt() : std::vector<PlatformError>{};
        ssize_t length = ssize_t(seen.size() * sizeof(PlatformError));
        _exit(write(pipeEnds[1], seen.data(), std::size_t(length)) == length ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::vector<PlatformError> seen;
    PlatformError error = 0;
    while (read(pipeEnds[0], &error, sizeof error) == ssize_t(sizeof error)) seen.push_back(error);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    chmod(home.userFolder().c_str(), 0700);
    chmod(home.databasePath().c_str(), 0600);
    return seen;
}

TEST(KeyStoreSqlite, AHomeThatMayNotBeWrittenGivesNtePerm) {
    SqliteKeyStoreHarness harness;
    const Bytes der = pennaform::test::makeTestIdentity("Read only", 1024).certificateDer;
    const ContainerRef existing{"existing", "", providerTypes::kRsaFull};
    {
        auto platform = harness.open();
        ASSERT_TRUE(platform->keys()->createContainer(existing));
        ASSERT_TRUE((*platform->stores()->openSystemStore(SystemStore::kMy))
                        ->add(der, {}, AddDisposition::kAlways));
    }
    std::vector<PlatformError> seen = whileUnwritable(harness.home(), [&](Platform& platform) {
        // Opened while the home could still be written: the container and
        // the store are read, so only the writes meet the refusal.
        auto container = std::shared_ptr<KeyContainer>(*platform.keys()->openContainer(existing));
        auto my = std::shared_ptr<CertificateStore>(
            *platform.stores()->openSystemStore(SystemStore::kMy));
        CertId id = (*my->certificates()).at(0).id;
        return [&platform, container, my, id, &der, &existing]() -> std::vector<PlatformError> {
            return {
                platform.keys()->createContainer({"new", "", providerTypes::kRsaFull}).error(),
                container->generateKeyPair(KeySpec::kKeyExchange, 1024, 0).error(),
                platform.keys()->deleteContainer(existing).error(),
                my->add(der, {}, AddDisposition::kAlways).error(),
                my->remove(id).error(),
                my->setFriendlyName(id, u"renamed").error(),
                my->certificates().error(),  // reading still works
            };
        };
    });
    const PlatformError perm = errors::kNtePerm;
    EXPECT_EQ(perm, 0x80090010u);
    EXPECT_EQ(seen, (std::vector<PlatformError>{perm, perm, perm, perm, perm, perm, 0}));
    // Nothing changed.
    auto platform = harness.open();
    EXPECT_TRUE(platform->keys()->openContainer(existing));
    EXPECT_EQ((*platform->stores()->openSystemStore(SystemStore::kMy))->certificates()->size(), 1u);
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
