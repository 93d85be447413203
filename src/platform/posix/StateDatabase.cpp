#include "platform/posix/StateDatabase.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>
#include <utility>

#include "platform/posix/FileDescriptor.h"
#include "platform/posix/PosixErrors.h"

namespace pennaform::platform {
namespace {

// How long a process waits for another one's transaction before giving up.
constexpr int kBusyTimeoutMs = 30000;
// How long a process pauses before asking again for the lock that switches
// a new database to WAL.
constexpr int kWalRetryPauseMs = 2;
constexpr mode_t kPrivateFileMode = 0600;

// The tables of each schema version, applied in order to bring an older
// database up to kSchemaVersion. Version 1: the registry hive. A key's path
// and names are kept as written and folded (upper-cased) for comparison;
// the root key has the empty path and no row.
constexpr const char* kMigrations[] = {
    R"sql(
CREATE TABLE registry_keys (
  folded_path TEXT NOT NULL PRIMARY KEY,
  parent_path TEXT NOT NULL,
  name        TEXT NOT NULL,
  folded_name TEXT NOT NULL
) WITHOUT ROWID;
CREATE INDEX registry_keys_by_parent ON registry_keys (parent_path, folded_name);
CREATE TABLE registry_values (
  key_path    TEXT NOT NULL,
  folded_name TEXT NOT NULL,
  name        TEXT NOT NULL,
  type        INTEGER NOT NULL,
  data        BLOB NOT NULL,
  PRIMARY KEY (key_path, folded_name)
) WITHOUT ROWID;
)sql",
    // Version 2: the certificate stores and the key containers. A store's
    // certificates come back in the order of their ids, which grow with each
    // addition and are never reused. Names are UTF-16LE as the properties
    // hold them. A container's name is kept as written and folded for
    // lookup; its keys are unencrypted PKCS#8, which is why the file is the
    // user's alone.
    R"sql(
CREATE TABLE store_certificates (
  id                INTEGER PRIMARY KEY AUTOINCREMENT,
  store             TEXT NOT NULL,
  sha1              BLOB NOT NULL,
  encoded           BLOB NOT NULL,
  kpi_container     BLOB,
  kpi_provider      BLOB,
  kpi_provider_type INTEGER,
  kpi_flags         INTEGER,
  kpi_key_spec      INTEGER,
  friendly_name     BLOB
);
CREATE INDEX store_certificates_by_hash ON store_certificates (store, sha1);
CREATE TABLE key_containers (
  folded_name TEXT NOT NULL PRIMARY KEY,
  name        TEXT NOT NULL
) WITHOUT ROWID;
CREATE TABLE container_keys (
  container   TEXT NOT NULL,
  key_spec    INTEGER NOT NULL,
  flags       INTEGER NOT NULL,
  private_key BLOB NOT NULL,
  PRIMARY KEY (container, key_spec)
) WITHOUT ROWID;
)sql",
    // Version 3: a store's certificates in id order straight from an index,
    // so that listing a store reads its rows in order instead of sorting
    // every encoding in a temporary tree, which grew worse than linearly
    // with the store's size.
    R"sql(
CREATE INDEX store_certificates_in_order ON store_certificates (store, id);
)sql",
};
static_assert(std::size(kMigrations) == StateDatabase::kSchemaVersion);

Failure errnoFailure(int error) {
    return fail(windowsErrorFor(error, ErrnoContext::kCreatingFile));
}

// createPrivateFile: makes sure the database file exists and only its owner
// can read it, before SQLite opens it (SQLite would create it 0644, and its
// journal files take the database file's mode).
Status createPrivateFile(const std::string& path) {
    FileDescriptor file(
        open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kPrivateFileMode));
    if (file.get() < 0) return errnoFailure(errno);
    struct stat info {};
    if (fstat(file.get(), &info) != 0) return errnoFailure(errno);
    if ((info.st_mode & 0077) != 0 && fchmod(file.get(), kPrivateFileMode) != 0) {
        return errnoFailure(errno);
    }
    return Status::success();
}

// TransactionGuard: rolls the open transaction back unless it was committed,
// on every way out, an exception included.
class TransactionGuard {
public:
    explicit TransactionGuard(Connection& connection) : connection_(connection) {}
    TransactionGuard(const TransactionGuard&) = delete;
    TransactionGuard& operator=(const TransactionGuard&) = delete;
    ~TransactionGuard() {
        if (!committed_) (void)connection_.executeScript("ROLLBACK");
    }
    Status commit() {
        Status committed = connection_.executeScript("COMMIT");
        committed_ = committed.ok();
        return committed;
    }

private:
    Connection& connection_;
    bool committed_ = false;
};

// switchToWal: puts the database in WAL mode (kept in the file, so only the
// first process ever changes it). The change needs an exclusive lock that
// SQLite does not wait for through the busy handler: when two processes make
// a new database at the same moment, one is refused at once, and its first
// write was lost. It is tried again until the busy timeout has passed.
Status switchToWal(Connection& connection) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        Status switched = connection.executeScript("PRAGMA journal_mode=WAL");
        if (switched || switched.error() != errors::kErrorSharingViolation ||
            std::chrono::steady_clock::now() >= deadline) {
            return switched;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kWalRetryPauseMs));
    }
}

// inSavepoint: `change` inside the transaction already open, undone alone
// when it fails; what it did stays only if that transaction commits.
Status inSavepoint(Connection& connection, const std::function<Status(Connection&)>& change) {
    Status begun = connection.executeScript("SAVEPOINT joined");
    if (!begun) return begun;
    Status changed = change(connection);
    if (!changed) {
        (void)connection.executeScript("ROLLBACK TO joined; RELEASE joined");
        return changed;
    }
    return connection.executeScript("RELEASE joined");
}

Status inTransaction(Connection& connection, const std::function<Status(Connection&)>& change) {
    Status begun = connection.executeScript("BEGIN IMMEDIATE");
    if (!begun) return begun;
    TransactionGuard guard(connection);
    Status changed = change(connection);
    if (!changed) return changed;
    return guard.commit();
}

}  // namespace

Failure sqliteFailure(int resultCode, int systemErrno) {
    switch (resultCode & 0xFF) {
        case SQLITE_PERM:
        case SQLITE_READONLY:
        case SQLITE_AUTH:
            return fail(errors::kErrorAccessDenied);
        case SQLITE_CANTOPEN:
            return systemErrno != 0 ? errnoFailure(systemErrno) : fail(errors::kErrorPathNotFound);
        case SQLITE_FULL:
            return fail(errors::kErrorDiskFull);
        case SQLITE_NOMEM:
            return fail(errors::kErrorNotEnoughMemory);
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return fail(errors::kErrorFileCorrupt);
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return fail(errors::kErrorSharingViolation);
        case SQLITE_TOOBIG:
        case SQLITE_RANGE:
        case SQLITE_MISMATCH:
            return fail(errors::kErrorInvalidParameter);
        case SQLITE_IOERR:
            return fail(windowsErrorFor(systemErrno, ErrnoContext::kDatabaseIo));
        default:
            return fail(errors::kErrorIoDevice);
    }
}

Status deniedAs(Status status, PlatformError denied) {
    if (status.error() == errors::kErrorAccessDenied) return fail(denied);
    return status;
}

// --- Statement ---

Statement::Statement(Statement&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      statement_(std::exchange(other.statement_, nullptr)),
      bindResult_(other.bindResult_) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(statement_);
        db_ = std::exchange(other.db_, nullptr);
        statement_ = std::exchange(other.statement_, nullptr);
        bindResult_ = other.bindResult_;
    }
    return *this;
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement& Statement::bindText(int index, std::string_view text) {
    if (bindResult_ != SQLITE_OK) return *this;
    if (text.size() > std::size_t(INT_MAX)) {
        bindResult_ = SQLITE_TOOBIG;
        return *this;
    }
    // A null pointer would bind SQL NULL, not the empty text.
    const char* data = text.empty() ? "" : text.data();
    bindResult_ = sqlite3_bind_text(statement_, index, data, int(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindBlob(int index, ByteView bytes) {
    if (bindResult_ != SQLITE_OK) return *this;
    if (bytes.size() > std::size_t(INT_MAX)) {
        bindResult_ = SQLITE_TOOBIG;
        return *this;
    }
    bindResult_ = bytes.empty() ? sqlite3_bind_zeroblob(statement_, index, 0)
                                : sqlite3_bind_blob(statement_, index, bytes.data(),
                                                    int(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindInt64(int index, std::int64_t value) {
    if (bindResult_ != SQLITE_OK) return *this;
    bindResult_ = sqlite3_bind_int64(statement_, index, value);
    return *this;
}

Outcome<bool> Statement::step() {
    if (bindResult_ != SQLITE_OK) return sqliteFailure(bindResult_);
    int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) return true;
    if (result == SQLITE_DONE) return false;
    int extended = sqlite3_extended_errcode(db_);
    int systemErrno = sqlite3_system_errno(db_);
    sqlite3_reset(statement_);
    return sqliteFailure(extended != SQLITE_OK ? extended : result, systemErrno);
}

Status Statement::execute() {
    for (;;) {
        Outcome<bool> row = step();
        if (!row) return row.failure();
        if (!*row) return Status::success();
    }
}

void Statement::reset() {
    sqlite3_reset(statement_);
    bindResult_ = SQLITE_OK;
}

std::string Statement::columnText(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    int length = sqlite3_column_bytes(statement_, column);
    if (text == nullptr || length <= 0) return {};
    return std::string(reinterpret_cast<const char*>(text), std::size_t(length));
}

Bytes Statement::columnBlob(int column) const {
    const void* blob = sqlite3_column_blob(statement_, column);
    int length = sqlite3_column_bytes(statement_, column);
    if (blob == nullptr || length <= 0) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(blob);
    return Bytes(bytes, bytes + length);
}

std::int64_t Statement::columnInt64(int column) const {
    return sqlite3_column_int64(statement_, column);
}

bool Statement::columnIsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

// --- Connection ---

Connection::Connection(Connection&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        sqlite3_close_v2(db_);
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

Connection::~Connection() {
    sqlite3_close_v2(db_);
}

Outcome<Connection> Connection::open(const std::string& path, int flags) {
    sqlite3* db = nullptr;
    int result = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
    Connection connection(db);  // closes the handle SQLite gives even on failure
    if (result != SQLITE_OK) {
        return sqliteFailure(result, db != nullptr ? sqlite3_system_errno(db) : 0);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Reading through a memory map spares a system call and a copy per
    // page; a store of thousands of certificates is listed several times
    // faster. Without it (the setting is advisory) reads still work.
    sqlite3_exec(db, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
    return connection;
}

Failure Connection::lastFailure(int resultCode) const {
    return sqliteFailure(resultCode, sqlite3_system_errno(db_));
}

Outcome<Statement> Connection::prepare(std::string_view sql) {
    if (sql.size() > std::size_t(INT_MAX)) return fail(errors::kErrorInvalidParameter);
    sqlite3_stmt* prepared = nullptr;
    int result = sqlite3_prepare_v2(db_, sql.data(), int(sql.size()), &prepared, nullptr);
    Statement statement(db_, prepared);
    if (result != SQLITE_OK) return lastFailure(result);
    if (prepared == nullptr) return fail(errors::kErrorInvalidParameter);  // no statement in sql
    return statement;
}

Status Connection::executeScript(const char* sql) {
    char* message = nullptr;
    int result = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    sqlite3_free(message);
    if (result != SQLITE_OK) return lastFailure(sqlite3_extended_errcode(db_));
    return Status::success();
}

std::int64_t Connection::changes() const {
    return sqlite3_changes64(db_);
}

Outcome<std::int64_t> Connection::schemaVersion() {
    Outcome<Statement> query = prepare("PRAGMA user_version");
    if (!query) return query.failure();
    Outcome<bool> row = query->step();
    if (!row) return row.failure();
    return *row ? query->columnInt64(0) : 0;
}

// --- StateDatabase ---

StateDatabase::StateDatabase(std::optional<StateHome> home, std::string path, Access access)
    : home_(std::move(home)), path_(std::move(path)), access_(access) {}

std::shared_ptr<StateDatabase> StateDatabase::userDatabase(const StateHome& home) {
    return std::shared_ptr<StateDatabase>(
        new StateDatabase(home, home.databasePath(), Access::kReadWrite));
}

std::shared_ptr<StateDatabase> StateDatabase::machineDatabase(std::string path) {
    return std::shared_ptr<StateDatabase>(
        new StateDatabase(std::nullopt, std::move(path), Access::kReadOnly));
}

Outcome<Connection*> StateDatabase::reader() {
    if (path_.empty()) return fail(errors::kErrorFileNotFound);
    if (!connection_) {
        int flags = access_ == Access::kReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
        Outcome<Connection> opened = Connection::open(path_, flags);
        if (!opened) return opened.failure();
        connection_.emplace(std::move(*opened));
    }
    Outcome<std::int64_t> version = connection_->schemaVersion();
    if (!version) return version.failure();
    if (*version == 0) return fail(errors::kErrorFileNotFound);  // created, no tables yet
    if (*version < 0) return fail(errors::kErrorFileCorrupt);
    if (*version > kSchemaVersion) return fail(errors::kErrorNotSupported);
    // A database an older build made lacks the newer tables; the user's own
    // database is brought up to date before it is read.
    if (*version < kSchemaVersion && access_ == Access::kReadWrite) return openForWriting();
    return &*connection_;
}

Outcome<Connection*> StateDatabase::openForWriting() {
    if (access_ == Access::kReadOnly) return fail(errors::kErrorAccessDenied);
    if (path_.empty()) return fail(errors::kErrorPathNotFound);
    if (!readyForWriting_) {
        // Also when a reader opened the file first: it may predate this
        // build and carry a wider mode.
        Status folder = home_->ensureCreated();
        if (!folder) return folder.failure();
        Status file = createPrivateFile(path_);
        if (!file) return file.failure();
        if (!connection_) {
            Outcome<Connection> opened = Connection::open(path_, SQLITE_OPEN_READWRITE);
            if (!opened) return opened.failure();
            connection_.emplace(std::move(*opened));
        }
        Status prepared = prepareForWriting(*connection_);
        if (!prepared) return prepared.failure();
        readyForWriting_ = true;
    }
    return &*connection_;
}

// prepareForWriting: WAL lets readers go on while one process writes; FULL
// synchronisation makes a commit durable before write() returns. Then the
// tables are brought to the current version, once, whichever process
// arrives first.
Status StateDatabase::prepareForWriting(Connection& connection) {
    // secure_delete overwrites what a change removes, so a deleted key
    // container leaves no key bytes in the free pages of the file.
    Status wal = switchToWal(connection);
    if (!wal) return wal;
    Status modes = connection.executeScript("PRAGMA synchronous=FULL; PRAGMA secure_delete=ON;");
    if (!modes) return modes;
    return inTransaction(connection, [](Connection& c) -> Status {
        Outcome<std::int64_t> version = c.schemaVersion();
        if (!version) return version.failure();
        if (*version > kSchemaVersion) return fail(errors::kErrorNotSupported);
        if (*version < 0) return fail(errors::kErrorFileCorrupt);
        for (std::int64_t next = *version; next < kSchemaVersion; ++next) {
            Status created = c.executeScript(kMigrations[next]);
            if (!created) return created;
        }
        if (*version == kSchemaVersion) return Status::success();
        std::string setVersion = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
        return c.executeScript(setVersion.c_str());
    });
}

Status StateDatabase::write(const std::function<Status(Connection&)>& change) {
    Outcome<Connection*> connection = openForWriting();
    if (!connection) return connection.failure();
    if (writing_) return inSavepoint(**connection, change);
    writing_ = true;
    struct Done {
        bool& writing;
        ~Done() { writing = false; }
    } done{writing_};
    return inTransaction(**connection, change);
}

}  // namespace pennaform::platform
