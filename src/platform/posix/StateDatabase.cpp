#include "platform/posix/StateDatabase.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
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
    // Version 4: a key names its parent by row id and holds its own name
    // only; a value names its key by row id. Each row used to hold its whole
    // path and its parent's, so a deep key took storage in the square of its
    // depth. Existing keys get ids in the order of their paths, so parents
    // are numbered before their children.
    R"sql(
CREATE TEMP TABLE registry_key_ids AS
  SELECT row_number() OVER (ORDER BY folded_path) AS id, folded_path, parent_path, name,
         folded_name
  FROM registry_keys;
CREATE INDEX temp.registry_key_ids_by_path ON registry_key_ids (folded_path);
CREATE TABLE registry_key_rows (
  id          INTEGER PRIMARY KEY,
  parent      INTEGER NOT NULL,
  name        TEXT NOT NULL,
  folded_name TEXT NOT NULL
);
INSERT INTO registry_key_rows (id, parent, name, folded_name)
  SELECT k.id, coalesce(p.id, 0), k.name, k.folded_name
  FROM registry_key_ids k LEFT JOIN registry_key_ids p ON p.folded_path = k.parent_path
  WHERE k.parent_path = '' OR p.id IS NOT NULL;
CREATE TABLE registry_value_rows (
  key_id      INTEGER NOT NULL,
  folded_name TEXT NOT NULL,
  name        TEXT NOT NULL,
  type        INTEGER NOT NULL,
  data        BLOB NOT NULL,
  PRIMARY KEY (key_id, folded_name)
) WITHOUT ROWID;
INSERT INTO registry_value_rows (key_id, folded_name, name, type, data)
  SELECT coalesce(k.id, 0), v.folded_name, v.name, v.type, v.data
  FROM registry_values v LEFT JOIN registry_key_ids k ON k.folded_path = v.key_path
  WHERE v.key_path = '' OR k.id IS NOT NULL;
DROP TABLE temp.registry_key_ids;
DROP TABLE registry_keys;
DROP TABLE registry_values;
ALTER TABLE registry_key_rows RENAME TO registry_keys;
ALTER TABLE registry_value_rows RENAME TO registry_values;
CREATE UNIQUE INDEX registry_keys_by_parent ON registry_keys (parent, folded_name);
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
    FileDescriptor file(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                             kPrivateFileMode));
    if (file.get() < 0) {
        // A link at the database file is refused as databaseFilePath refuses it.
        return errno == ELOOP ? fail(errors::kErrorAccessDenied) : errnoFailure(errno);
    }
    struct stat info {};
    if (fstat(file.get(), &info) != 0) return errnoFailure(errno);
    if (!S_ISREG(info.st_mode)) return fail(errors::kErrorFileCorrupt);
    if ((info.st_mode & 0077) != 0 && fchmod(file.get(), kPrivateFileMode) != 0) {
        return errnoFailure(errno);
    }
    return Status::success();
}

enum class LinkAtFile { kRefused, kFollowed };

// realPath: `path` with every link resolved and made absolute.
Outcome<std::string> realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) return errnoFailure(errno);
    return std::string(resolved.get());
}

// databaseFilePath: the path SQLite is given for the database at `path`,
// with no link left in it. SQLite's refusal of links applies to every
// component of a path, and a home under a linked folder ($HOME, ~/.local,
// TMPDIR) is common; so the folder is resolved here, and SQLite's refusal
// then guards the file itself (also against a link put there after this
// check). The file must be a regular file: SQLite would block opening a
// FIFO. ERROR_FILE_NOT_FOUND while it does not exist.
Outcome<std::string> databaseFilePath(const std::string& path, LinkAtFile link) {
    std::string resolvedPath;
    if (link == LinkAtFile::kFollowed) {
        Outcome<std::string> resolved = realPath(path);
        if (!resolved) return resolved;
        resolvedPath = std::move(*resolved);
    } else {
        std::size_t slash = path.rfind('/');
        std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        Outcome<std::string> resolved = realPath(folder);
        if (!resolved) return resolved;
        resolvedPath = *resolved == "/" ? "" : std::move(*resolved);
        resolvedPath += '/';
        resolvedPath += slash == std::string::npos ? path : path.substr(slash + 1);
    }
    struct stat info {};
    if (lstat(resolvedPath.c_str(), &info) != 0) return errnoFailure(errno);
    if (S_ISLNK(info.st_mode)) return fail(errors::kErrorAccessDenied);
    if (!S_ISREG(info.st_mode)) return fail(errors::kErrorFileCorrupt);
    return resolvedPath;
}

// immutableUri: the URI that opens `path` read-only as a file nothing
// changes, which needs no -shm beside it: for a folder the user may read
// but not write, where a WAL reader could not make one.
std::string immutableUri(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7F) {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0x0F];
        } else {
            uri += char(c);
        }
    }
    return uri + "?immutable=1";
}

// folderWritable: whether this process may make files in the folder of
// `path` (its -wal and -shm).
bool folderWritable(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    return faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0;
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
    // No memory map (SQLite's default): a file truncated in place by
    // another program, a restore or a sync tool, would fault a mapped read
    // with SIGBUS instead of failing it with a code.
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
        Outcome<std::string> path = databaseFilePath(
            path_, access_ == Access::kReadOnly ? LinkAtFile::kFollowed : LinkAtFile::kRefused);
        if (!path) return path.failure();
        Outcome<Connection> opened = fail(errors::kErrorFileNotFound);
        if (access_ == Access::kReadOnly) {
            opened = Connection::open(*path, SQLITE_OPEN_READONLY);
        } else if (folderWritable(*path)) {
            opened = Connection::open(*path, SQLITE_OPEN_READWRITE);
        } else {
            opened = Connection::open(immutableUri(*path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
            immutable_ = opened.ok();
        }
        if (!opened) return opened.failure();
        connection_.emplace(std::move(*opened));
        tablesCurrent_ = false;
    }
    if (tablesCurrent_) return &*connection_;
    Outcome<std::int64_t> version = connection_->schemaVersion();
    if (!version) return version.failure();
    if (*version == 0) return fail(errors::kErrorFileNotFound);  // created, no tables yet
    if (*version < 0) return fail(errors::kErrorFileCorrupt);
    if (*version > kSchemaVersion) return fail(errors::kErrorNotSupported);
    tablesCurrent_ = *version == kSchemaVersion;
    // A database an older build made lacks the newer tables; the user's own
    // database is brought up to date before it is read.
    if (*version < kSchemaVersion && access_ == Access::kReadWrite) {
        Outcome<Connection*> writable = openForWriting();
        // One the user may only read is read as it is only when its tables
        // are the current ones, which it lacks.
        if (!writable && immutable_) return fail(errors::kErrorNotSupported);
        return writable;
    }
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
        if (immutable_) {
            connection_.reset();  // the folder may be written now
            tablesCurrent_ = false;
            immutable_ = false;
        }
        if (!connection_) {
            Outcome<std::string> path = databaseFilePath(path_, LinkAtFile::kRefused);
            if (!path) return path.failure();
            Outcome<Connection> opened = Connection::open(*path, SQLITE_OPEN_READWRITE);
            if (!opened) return opened.failure();
            connection_.emplace(std::move(*opened));
        }
        Status prepared = prepareForWriting(*connection_);
        if (!prepared) return prepared.failure();
        readyForWriting_ = true;
        tablesCurrent_ = true;
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
        bool& purge;
        ~Done() { writing = purge = false; }
    } done{writing_, purgeJournal_};
    Status written = inTransaction(**connection, change);
    if (written && purgeJournal_) {
        // Best effort: the change is made and kept whatever this gives. A
        // reader of another process holding an old snapshot can keep the
        // journal from being emptied until the next purge.
        (void)(*connection)->executeScript("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    return written;
}

void StateDatabase::purgeJournalAfterCommit() {
    purgeJournal_ = writing_;
}

}  // namespace pennaform::platform
