// The SQLite stores and key containers: the conformance suite, then what
// only this backend promises: who may read its files, what a home it may
// not write gives, and the upgrade of a database an older build made.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

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

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(KeyStoreSqlite, AHomeUnderALinkedFolderKeepsItsStateAndALinkedDatabaseIsRefused) {
    TemporaryFolder folder;
    fs::create_directory(folder.sub("real"));
    fs::create_directory_symlink(folder.sub("real"), folder.sub("link"));
    StateHome home(folder.sub("link") + "/data/pennaform");
    const Bytes der = pennaform::test::makeTestIdentity("Linked", 1024).certificateDer;
    {
        auto platform = makePlatform(home);
        auto key = platform->registry()->createKey("Software\\Linked");
        ASSERT_TRUE(key) << key.error();
        ASSERT_TRUE((*key)->setValue("Mode", ValueType::kString, bytesOf("on")));
        ASSERT_TRUE((*platform->stores()->openSystemStore(SystemStore::kMy))
                        ->add(der, {}, AddDisposition::kAlways));
    }
    auto platform = makePlatform(home);
    auto key = platform->registry()->openKey(Hive::kCurrentUser, "software\\linked");
    ASSERT_TRUE(key) << key.error();
    EXPECT_EQ((*key)->queryValue("Mode")->data, bytesOf("on"));
    EXPECT_EQ((*platform->stores()->openSystemStore(SystemStore::kMy))->certificates()->size(), 1u);

    // A link at the database file itself would let whoever placed it send
    // the keys elsewhere: it is neither read nor written through.
    StateHome linked(folder.sub("linked-file"));
    fs::create_directory(linked.userFolder());
    fs::create_symlink(home.databasePath(), linked.databasePath());
    auto other = makePlatform(linked);
    auto otherMy = *other->stores()->openSystemStore(SystemStore::kMy);
    EXPECT_EQ(otherMy->certificates().error(), errors::kErrorAccessDenied);
    EXPECT_EQ(other->registry()->createKey("Software\\Other").error(), errors::kErrorAccessDenied);
    EXPECT_EQ(otherMy->add(der, {}, AddDisposition::kAlways).error(), errors::kNtePerm);
    EXPECT_EQ(platform->registry()->openKey(Hive::kCurrentUser, "Software\\Other").error(),
              errors::kErrorFileNotFound);
}

TEST(KeyStoreSqlite, ADeletedContainerLeavesNoKeyBytesInTheDatabaseOrItsJournal) {
    SqliteKeyStoreHarness harness;
    auto platform = harness.open();
    const ContainerRef ref{"to be deleted", "", providerTypes::kRsaFull};
    auto container = platform->keys()->createContainer(ref);
    ASSERT_TRUE(container);
    auto key = (*container)->generateKeyPair(KeySpec::kKeyExchange, 1024, keyFlags::kExportable);
    ASSERT_TRUE(key);
    auto blob = (*key)->exportPrivateKeyBlob();
    ASSERT_TRUE(blob);
    // The blob's first prime (little-endian, after the 20-byte header and the
    // 128-byte modulus); the stored PKCS#8 holds it big-endian.
    ByteView prime = blob->view().subspan(20 + 128, 64);
    Bytes secret(prime.rbegin() + 16, prime.rbegin() + 48);
    const std::string database = harness.home().databasePath();
    auto holds = [&](const std::string& path) {
        Bytes bytes = fileBytes(path);
        return std::search(bytes.begin(), bytes.end(), secret.begin(), secret.end()) != bytes.end();
    };
    ASSERT_TRUE(holds(database) || holds(database + "-wal"));  // the probe finds the key

    // Still open, as a process killed now would leave the files.
    ASSERT_TRUE(platform->keys()->deleteContainer(ref));
    EXPECT_FALSE(holds(database));
    EXPECT_FALSE(holds(database + "-wal"));
}

// A home the user may read but not write: reads are served (WAL readers
// would need to make a -shm file there), writes refused with the usual codes.
TEST(KeyStoreSqlite, AHomeTheUserMayOnlyReadIsReadAndRefusesWrites) {
    SqliteKeyStoreHarness harness;
    const Bytes der = pennaform::test::makeTestIdentity("Read only", 1024).certificateDer;
    const ContainerRef existing{"kept", "", providerTypes::kRsaFull};
    {
        auto platform = harness.open();
        ASSERT_TRUE(platform->keys()->createContainer(existing));
        ASSERT_TRUE((*platform->stores()->openSystemStore(SystemStore::kMy))
                        ->add(der, {}, AddDisposition::kAlways));
        auto key = platform->registry()->createKey("Software\\Kept");
        ASSERT_TRUE(key && (*key)->setValue("Mode", ValueType::kString, bytesOf("on")));
    }
    const std::string folder = harness.home().userFolder();
    const std::string database = harness.home().databasePath();
    fs::permissions(fs::path(folder).parent_path(), fs::perms(0755));
    fs::permissions(folder, fs::perms(0555));
    fs::permissions(database, fs::perms(0444));
    if (geteuid() != 0 && access(folder.c_str(), W_OK) == 0) {
        fs::permissions(folder, fs::perms(0700));
        GTEST_SKIP() << "this user writes folders whatever their mode";
    }
    // The exit code names the first step that went wrong.
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(2);
            auto platform = makePlatform(harness.home());
            auto key = platform->registry()->openKey(Hive::kCurrentUser, "Software\\Kept");
            if (!key || (*key)->queryValue("Mode")->data != bytesOf("on")) std::_Exit(3);
            auto my = *platform->stores()->openSystemStore(SystemStore::kMy);
            if (my->certificates()->size() != 1) std::_Exit(4);
            if (!platform->keys()->openContainer(existing)) std::_Exit(5);
            if ((*key)->setValue("Mode", ValueType::kString, bytesOf("off")).error() !=
                errors::kErrorAccessDenied) {
                std::_Exit(6);
            }
            if (my->add(der, {}, AddDisposition::kAlways).error() != errors::kNtePerm)
                std::_Exit(7);
            if (platform->keys()->deleteContainer(existing).error() != errors::kNtePerm) {
                std::_Exit(8);
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    fs::permissions(folder, fs::perms(0700));
    fs::permissions(database, fs::perms(0600));
    EXPECT_FALSE(fs::exists(database + "-shm"));
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
