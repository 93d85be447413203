// StateDatabase: the SQLite database that keeps the POSIX backend's durable
// state: the per-user database (registry hive now; certificate stores and key
// containers share it) and the read-only machine hive file.
//
// Every change runs in one immediate transaction: a process killed at any
// instant leaves the old or the new state, and concurrent processes wait for
// each other (WAL mode, busy timeout) instead of failing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"
#include "platform/StateHome.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pennaform::platform {

// sqliteFailure: the Windows error number for an SQLite result code (with the
// file system's errno behind it where SQLite kept one).
Failure sqliteFailure(int resultCode, int systemErrno = 0);

// deniedAs: `status`, with ERROR_ACCESS_DENIED (StateDatabase::write on a
// database that may not be written) given as `denied` instead, for services
// whose callers read a number of their own for it.
Status deniedAs(Status status, PlatformError denied);

// Statement: one prepared statement. Binding failures stick to the statement
// and come out of the next step(), so a chain of binds is checked once.
class Statement {
public:
    Statement(Statement&&) noexcept;
    Statement& operator=(Statement&&) noexcept;
    ~Statement();

    // bind*: parameter `index` counts from 1, as in the SQL text.
    Statement& bindText(int index, std::string_view text);
    Statement& bindBlob(int index, ByteView bytes);
    Statement& bindInt64(int index, std::int64_t value);

    // step: true when a row is ready, false when the statement is done.
    Outcome<bool> step();
    // execute: runs a statement that returns no row to the end.
    Status execute();
    // reset: makes the statement ready to run again with new bindings.
    void reset();

    // Columns of the current row, counted from 0. Text and blobs are copied.
    std::string columnText(int column) const;
    Bytes columnBlob(int column) const;
    std::int64_t columnInt64(int column) const;
    bool columnIsNull(int column) const;

private:
    friend class Connection;
    Statement(sqlite3* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}

    sqlite3* db_;
    sqlite3_stmt* statement_;
    int bindResult_ = 0;
};

// Connection: one open database handle, closed with the object.
class Connection {
public:
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;
    ~Connection();

    // open: opens `path` with SQLite's open flags; the file must exist unless
    // the flags ask SQLite to create it.
    static Outcome<Connection> open(const std::string& path, int flags);

    Outcome<Statement> prepare(std::string_view sql);
    // executeScript: runs one or more statements that return no rows.
    Status executeScript(const char* sql);
    // changes: the rows the last INSERT, UPDATE or DELETE changed.
    std::int64_t changes() const;
    // schemaVersion: the database's user_version, the version of its tables.
    Outcome<std::int64_t> schemaVersion();

private:
    explicit Connection(sqlite3* db) : db_(db) {}
    Failure lastFailure(int resultCode) const;

    sqlite3* db_;
};

class StateDatabase {
public:
    // The version of the tables this build creates and reads.
    static constexpr std::int64_t kSchemaVersion = 4;

    // userDatabase: the per-user database of `home`. Nothing is touched until
    // first use; the first change creates the folder (0700) and the file
    // (0600) with the current tables. The folder may be reached through
    // links; a link at the database file itself is refused
    // (ERROR_ACCESS_DENIED). In a folder the user may read but not write,
    // the database is read as a file nothing changes (what a writer left in
    // its WAL is not seen) and writes fail with ERROR_ACCESS_DENIED.
    static std::shared_ptr<StateDatabase> userDatabase(const StateHome& home);
    // machineDatabase: a database that is only ever read, such as the machine
    // hive; it is opened read-only, never created, never changed. It may be
    // a link; anything but a regular file is refused (ERROR_FILE_CORRUPT).
    static std::shared_ptr<StateDatabase> machineDatabase(std::string path);

    StateDatabase(const StateDatabase&) = delete;
    StateDatabase& operator=(const StateDatabase&) = delete;

    // reader: the connection for reading. ERROR_FILE_NOT_FOUND while the
    // database does not exist or has no tables yet, which readers take as
    // empty state. A database of a newer schema than this build knows is
    // refused with ERROR_NOT_SUPPORTED; the user's database of an older
    // schema is brought up to the current one first.
    Outcome<Connection*> reader();
    // write: runs `change` in one immediate transaction and commits it when
    // `change` succeeds; otherwise, or when anything throws, nothing of it
    // stays. Creates the database first when it is missing.
    // ERROR_ACCESS_DENIED for a database that may not be written: a
    // read-only file, a folder the user may not write, a read-only file
    // system. A write made from within another's change joins it: it is
    // undone alone when it fails, and kept only when the outer one commits,
    // so several services' changes can be made one transaction.
    Status write(const std::function<Status(Connection&)>& change);
    // purgeJournalAfterCommit: called from within a write's change that
    // removes secrets. Once the outermost transaction commits, the WAL is
    // copied into the database and cut to nothing, so the frames that wrote
    // the removed rows leave no copy on disk (secure_delete has overwritten
    // them in the database file). Ignored outside a write.
    void purgeJournalAfterCommit();

private:
    enum class Access { kReadWrite, kReadOnly };
    StateDatabase(std::optional<StateHome> home, std::string path, Access access);

    Outcome<Connection*> openForWriting();
    Status prepareForWriting(Connection& connection);

    std::optional<StateHome> home_;  // for the per-user database: its folder
    std::string path_;
    Access access_;
    std::optional<Connection> connection_;
    bool readyForWriting_ = false;  // journal mode and tables checked on this connection
    bool writing_ = false;          // a write's transaction is open
    bool purgeJournal_ = false;     // the open write asked for purgeJournalAfterCommit
    bool immutable_ = false;        // connection_ reads a folder the user cannot write
    // The tables were seen at the current version on connection_: a version
    // only ever rises, so readers need not ask again.
    bool tablesCurrent_ = false;
};

}  // namespace pennaform::platform
