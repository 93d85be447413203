// The registry hives on SQLite. Names cross the interface in the process code
// page and are kept as UTF-8, each beside an upper-cased copy that lookups
// and ordering use, so "Settings" and "SETTINGS" name the same key while the
// key keeps the case it was first written with. Paths are split into names
// after conversion to UTF-16, never on the 8-bit text, where a Big5
// character's second byte can be a backslash. The classes hive is the
// per-user hive's Software\Classes, as HKEY_CLASSES_ROOT shows it per user.
#include "platform/posix/Registry_sqlite.h"

#include <locale.h>
#include <wctype.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/CodePage.h"
#include "platform/Utf16Le.h"

namespace pennaform::platform {
namespace {

// The registry's limits, in UTF-16 code units.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr std::size_t kMaxDepth = 512;

// UnicodeCaseLocale: owns the locale whose case mapping covers all of
// Unicode, freed when the library is unloaded; null when the system lacks it.
class UnicodeCaseLocale {
public:
    UnicodeCaseLocale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0))) {}
    ~UnicodeCaseLocale() {
        if (locale_ != locale_t(0)) freelocale(locale_);
    }
    UnicodeCaseLocale(const UnicodeCaseLocale&) = delete;
    UnicodeCaseLocale& operator=(const UnicodeCaseLocale&) = delete;
    locale_t get() const { return locale_; }

private:
    locale_t locale_;
};

// upperCaseLocale: the Unicode case locale; when the system lacks it, only
// ASCII letters are folded.
locale_t upperCaseLocale() {
    static const UnicodeCaseLocale locale;
    return locale.get();
}

// folded: the name upper-cased unit by unit, as the registry compares names.
std::u16string folded(std::u16string_view name) {
    locale_t locale = upperCaseLocale();
    std::u16string out(name);
    for (char16_t& unit : out) {
        if (unit < 0x80) {
            unit = asciiUpper(unit);
        } else if ((unit < 0xD800 || unit > 0xDFFF) && locale != locale_t(0)) {
            wint_t upper = towupper_l(wint_t(unit), locale);
            if (upper <= 0xFFFF) unit = char16_t(upper);
        }
    }
    return out;
}

struct Name {
    std::string asWritten;  // UTF-8
    std::string forLookup;  // UTF-8, upper-cased
};

Name nameFrom(std::u16string_view wide) {
    return {utf16ToUtf8(wide), utf16ToUtf8(folded(wide))};
}

// KeyPath: a key's names from the root down.
struct KeyPath {
    std::vector<Name> names;
};

// A key's row names its parent's row by id; the root of a hive has no row
// and the id 0.
constexpr std::int64_t kRootKeyId = 0;

// findKeyId: the row id of the key at `path`; nullopt when a key on the way
// does not exist.
Outcome<std::optional<std::int64_t>> findKeyId(Connection& connection, const KeyPath& path) {
    std::int64_t id = kRootKeyId;
    if (path.names.empty()) return std::optional<std::int64_t>(id);
    Outcome<Statement> child =
        connection.prepare("SELECT id FROM registry_keys WHERE parent = ?1 AND folded_name = ?2");
    if (!child) return child.failure();
    for (const Name& name : path.names) {
        child->reset();
        child->bindInt64(1, id).bindText(2, name.forLookup);
        Outcome<bool> row = child->step();
        if (!row) return row.failure();
        if (!*row) return std::optional<std::int64_t>();
        id = child->columnInt64(0);
    }
    return std::optional<std::int64_t>(id);
}

// createMissingKeys: every key on `path` that does not exist yet; the row
// id of the last.
Outcome<std::int64_t> createMissingKeys(Connection& connection, const KeyPath& path) {
    Outcome<Statement> child =
        connection.prepare("SELECT id FROM registry_keys WHERE parent = ?1 AND folded_name = ?2");
    if (!child) return child.failure();
    Outcome<Statement> insert = connection.prepare(
        "INSERT INTO registry_keys (parent, name, folded_name) VALUES (?1, ?2, ?3) RETURNING id");
    if (!insert) return insert.failure();
    std::int64_t id = kRootKeyId;
    for (const Name& name : path.names) {
        child->reset();
        child->bindInt64(1, id).bindText(2, name.forLookup);
        Outcome<bool> found = child->step();
        if (!found) return found.failure();
        if (*found) {
            id = child->columnInt64(0);
            continue;
        }
        insert->reset();
        insert->bindInt64(1, id).bindText(2, name.asWritten).bindText(3, name.forLookup);
        Outcome<bool> inserted = insert->step();
        if (!inserted) return inserted.failure();
        if (!*inserted) return fail(errors::kErrorIoDevice);
        id = insert->columnInt64(0);
        Status finished = insert->execute();  // runs the statement to its end
        if (!finished) return finished.failure();
    }
    return id;
}

Outcome<KeyPath> parseKeyPath(std::string_view ansiPath) {
    std::u16string wide = toWide(ansiPath);
    KeyPath path;
    std::u16string_view rest = wide;
    while (!rest.empty()) {
        std::size_t slash = rest.find(u'\\');
        std::u16string_view part = rest.substr(0, slash);
        rest = slash == std::u16string_view::npos ? std::u16string_view() : rest.substr(slash + 1);
        if (part.empty()) continue;
        if (part.size() > kMaxKeyNameLength || path.names.size() == kMaxDepth) {
            return fail(errors::kErrorInvalidParameter);
        }
        path.names.push_back(nameFrom(part));
    }
    return path;
}

Outcome<Name> parseValueName(std::string_view ansiName) {
    std::u16string wide = toWide(ansiName);
    if (wide.size() > kMaxValueNameLength) return fail(errors::kErrorInvalidParameter);
    return nameFrom(wide);
}

bool isStringType(ValueType type) {
    return type == ValueType::kString || type == ValueType::kExpandString ||
           type == ValueType::kMultiString;
}

// Strings are kept as UTF-16LE, as the registry keeps them.
Bytes storedForm(ValueType type, ByteView data) {
    if (!isStringType(type)) return Bytes(data.begin(), data.end());
    std::u16string wide =
        toWide(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    return utf16LeBytes(wide);
}

// readForm: the stored bytes as the interface hands them out; an odd last
// byte of a string is not a whole UTF-16 unit and is dropped.
Bytes readForm(ValueType type, Bytes stored) {
    if (!isStringType(type)) return stored;
    std::string ansi = toAnsi(utf16LeUnits(stored));
    return Bytes(ansi.begin(), ansi.end());
}

// readerOrEmpty: the hive's connection, or null when the hive does not exist
// yet and so reads as empty.
Outcome<Connection*> readerOrEmpty(StateDatabase& database) {
    Outcome<Connection*> reader = database.reader();
    if (!reader && reader.error() == errors::kErrorFileNotFound) return nullptr;
    return reader;
}

class SqliteRegistryKey : public RegistryKey {
public:
    // `createsPath`: a hive's root, which exists even when the keys that
    // hold it in the database (the classes hive's Software\Classes) do not
    // yet; a value written there makes them.
    SqliteRegistryKey(std::shared_ptr<StateDatabase> database, KeyPath path, bool writable,
                      bool createsPath)
        : database_(std::move(database)),
          path_(std::move(path)),
          writable_(writable),
          createsPath_(createsPath) {}

    Outcome<RegistryValue> queryValue(std::string_view name) const override {
        Outcome<Name> valueName = parseValueName(name);
        if (!valueName) return fail(errors::kErrorFileNotFound);
        Outcome<Connection*> reader = readerOrEmpty(*database_);
        if (!reader) return reader.failure();
        if (*reader == nullptr) return fail(errors::kErrorFileNotFound);
        Outcome<std::optional<std::int64_t>> id = findKeyId(**reader, path_);
        if (!id) return id.failure();
        if (!*id) return fail(errors::kErrorFileNotFound);
        Outcome<Statement> query = (*reader)->prepare(
            "SELECT type, data FROM registry_values WHERE key_id = ?1 AND folded_name = ?2");
        if (!query) return query.failure();
        query->bindInt64(1, **id).bindText(2, valueName->forLookup);
        Outcome<bool> row = query->step();
        if (!row) return row.failure();
        if (!*row) return fail(errors::kErrorFileNotFound);
        auto type = ValueType(std::uint32_t(query->columnInt64(0)));
        return RegistryValue{type, readForm(type, query->columnBlob(1))};
    }

    Status setValue(std::string_view name, ValueType type, ByteView data) override {
        if (!writable_) return fail(errors::kErrorAccessDenied);
        Outcome<Name> valueName = parseValueName(name);
        if (!valueName) return valueName.failure();
        Bytes stored = storedForm(type, data);
        return database_->write([&](Connection& connection) -> Status {
            Outcome<std::int64_t> id = keyIdForWriting(connection);
            if (!id) return id.failure();
            Outcome<Statement> upsert = connection.prepare(
                "INSERT INTO registry_values (key_id, folded_name, name, type, data) "
                "VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (key_id, folded_name) "
                "DO UPDATE SET type = excluded.type, data = excluded.data");
            if (!upsert) return upsert.failure();
            return upsert->bindInt64(1, *id)
                .bindText(2, valueName->forLookup)
                .bindText(3, valueName->asWritten)
                .bindInt64(4, std::int64_t(type))
                .bindBlob(5, stored)
                .execute();
        });
    }

    Status deleteValue(std::string_view name) override {
        if (!writable_) return fail(errors::kErrorAccessDenied);
        Outcome<Name> valueName = parseValueName(name);
        if (!valueName) return fail(errors::kErrorFileNotFound);
        return database_->write([&](Connection& connection) -> Status {
            Outcome<std::optional<std::int64_t>> id = findKeyId(connection, path_);
            if (!id) return id.failure();
            if (!*id) return fail(errors::kErrorFileNotFound);
            Outcome<Statement> remove = connection.prepare(
                "DELETE FROM registry_values WHERE key_id = ?1 AND folded_name = ?2");
            if (!remove) return remove.failure();
            Status removed = remove->bindInt64(1, **id).bindText(2, valueName->forLookup).execute();
            if (!removed) return removed;
            return connection.changes() == 0 ? fail(errors::kErrorFileNotFound) : Status::success();
        });
    }

    Outcome<std::string> subkeyName(std::uint32_t index) const override {
        Outcome<Connection*> reader = readerOrEmpty(*database_);
        if (!reader) return reader.failure();
        if (*reader == nullptr) return fail(errors::kErrorNoMoreItems);
        Outcome<std::optional<std::int64_t>> id = findKeyId(**reader, path_);
        if (!id) return id.failure();
        if (!*id) return fail(errors::kErrorNoMoreItems);
        Outcome<Statement> query = (*reader)->prepare(
            "SELECT name FROM registry_keys WHERE parent = ?1 "
            "ORDER BY folded_name LIMIT 1 OFFSET ?2");
        if (!query) return query.failure();
        query->bindInt64(1, **id).bindInt64(2, index);
        Outcome<bool> row = query->step();
        if (!row) return row.failure();
        if (!*row) return fail(errors::kErrorNoMoreItems);
        return toAnsi(utf8ToUtf16(query->columnText(0)));
    }

private:
    // keyIdForWriting: the key's row id; ERROR_KEY_DELETED when the key was
    // deleted since this handle was opened.
    Outcome<std::int64_t> keyIdForWriting(Connection& connection) const {
        if (createsPath_) return createMissingKeys(connection, path_);
        Outcome<std::optional<std::int64_t>> id = findKeyId(connection, path_);
        if (!id) return id.failure();
        if (!*id) return fail(errors::kErrorKeyDeleted);
        return **id;
    }

    std::shared_ptr<StateDatabase> database_;
    KeyPath path_;
    bool writable_;
    bool createsPath_;
};

class SqliteRegistry : public Registry {
public:
    SqliteRegistry(std::shared_ptr<StateDatabase> user, std::shared_ptr<StateDatabase> machine)
        : user_(std::move(user)), machine_(std::move(machine)) {}

    Outcome<std::unique_ptr<RegistryKey>> openKey(Hive hive, std::string_view path) override {
        Outcome<HiveKey> key = resolve(hive, path);
        if (!key) return key.failure();
        if (key->isHiveRoot()) return keyFor(*key);

        Outcome<Connection*> reader = readerOrEmpty(*key->database);
        if (!reader) return reader.failure();
        if (*reader == nullptr) return fail(errors::kErrorFileNotFound);
        Outcome<std::optional<std::int64_t>> id = findKeyId(**reader, key->path);
        if (!id) return id.failure();
        if (!*id) return fail(errors::kErrorFileNotFound);
        return keyFor(*key);
    }

    Outcome<std::unique_ptr<RegistryKey>> createKey(std::string_view path) override {
        return createKeyIn(Hive::kCurrentUser, path);
    }

    Outcome<std::unique_ptr<RegistryKey>> createKeyIn(Hive hive, std::string_view path) override {
        if (hive == Hive::kLocalMachine) return fail(errors::kErrorAccessDenied);
        Outcome<HiveKey> key = resolve(hive, path);
        if (!key) return key.failure();
        if (!key->path.names.empty()) {
            Status created = user_->write([&](Connection& connection) -> Status {
                Outcome<std::int64_t> id = createMissingKeys(connection, key->path);
                if (!id) return id.failure();
                return Status::success();
            });
            if (!created) return created.failure();
        }
        return keyFor(*key);
    }

    Status deleteKeyTree(Hive hive, std::string_view path) override {
        if (hive == Hive::kLocalMachine) return fail(errors::kErrorAccessDenied);
        Outcome<HiveKey> key = resolve(hive, path);
        if (!key) return key.failure();
        if (key->isHiveRoot()) return fail(errors::kErrorAccessDenied);
        return user_->write([&](Connection& connection) -> Status {
            Outcome<std::optional<std::int64_t>> id = findKeyId(connection, key->path);
            if (!id) return id.failure();
            if (!*id) return fail(errors::kErrorFileNotFound);
            return deleteTree(connection, **id);
        });
    }

private:
    // HiveKey: where a hive's key lives: the database, the path from that
    // database's root, and how many of the path's names lead to the hive's
    // own root (the classes hive is the per-user Software\Classes).
    struct HiveKey {
        std::shared_ptr<StateDatabase> database;
        KeyPath path;
        std::size_t rootDepth = 0;
        bool writable = false;

        bool isHiveRoot() const { return path.names.size() == rootDepth; }
    };

    Outcome<HiveKey> resolve(Hive hive, std::string_view path) const {
        Outcome<KeyPath> keyPath = parseKeyPath(path);
        if (!keyPath) return keyPath.failure();
        if (hive == Hive::kLocalMachine) return HiveKey{machine_, std::move(*keyPath), 0, false};
        if (hive == Hive::kCurrentUser) return HiveKey{user_, std::move(*keyPath), 0, true};
        KeyPath classes;
        classes.names = {nameFrom(u"Software"), nameFrom(u"Classes")};
        if (classes.names.size() + keyPath->names.size() > kMaxDepth) {
            return fail(errors::kErrorInvalidParameter);
        }
        classes.names.insert(classes.names.end(), keyPath->names.begin(), keyPath->names.end());
        return HiveKey{user_, std::move(classes), 2, true};
    }

    static std::unique_ptr<RegistryKey> keyFor(const HiveKey& key) {
        return std::make_unique<SqliteRegistryKey>(key.database, key.path, key.writable,
                                                   key.isHiveRoot());
    }

    // deleteTree: the key of row `id`, every key below it and all their
    // values.
    static Status deleteTree(Connection& connection, std::int64_t id) {
        static constexpr const char* kTree =
            "WITH RECURSIVE tree (id) AS (SELECT ?1 UNION ALL "
            "SELECT k.id FROM registry_keys k JOIN tree t ON k.parent = t.id) ";
        for (const char* removal : {"DELETE FROM registry_values WHERE key_id IN tree",
                                    "DELETE FROM registry_keys WHERE id IN tree"}) {
            Outcome<Statement> remove = connection.prepare(std::string(kTree) + removal);
            if (!remove) return remove.failure();
            Status removed = remove->bindInt64(1, id).execute();
            if (!removed) return removed;
        }
        return Status::success();
    }

    std::shared_ptr<StateDatabase> user_;
    std::shared_ptr<StateDatabase> machine_;
};

}  // namespace

std::unique_ptr<Registry> makeSqliteRegistry(std::shared_ptr<StateDatabase> userDatabase,
                                             std::shared_ptr<StateDatabase> machineDatabase) {
    return std::make_unique<SqliteRegistry>(std::move(userDatabase), std::move(machineDatabase));
}

}  // namespace pennaform::platform
