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

    // lookupPath: the folded names joined by backslashes, from the first
    // `depth` names ("" for the root).
    std::string lookupPath(std::size_t depth) const {
        std::string path;
        for (std::size_t i = 0; i < depth; ++i) {
            if (i > 0) path += '\\';
            path += names[i].forLookup;
        }
        return path;
    }
    std::string lookupPath() const { return lookupPath(names.size()); }
};

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
    SqliteRegistryKey(std::shared_ptr<StateDatabase> database, std::string lookupPath,
                      bool writable)
        : database_(std::move(database)), lookupPath_(std::move(lookupPath)), writable_(writable) {}

    Outcome<RegistryValue> queryValue(std::string_view name) const override {
        Outcome<Name> valueName = parseValueName(name);
        if (!valueName) return fail(errors::kErrorFileNotFound);
        Outcome<Connection*> reader = readerOrEmpty(*database_);
        if (!reader) return reader.failure();
        if (*reader == nullptr) return fail(errors::kErrorFileNotFound);
        Outcome<Statement> query = (*reader)->prepare(
            "SELECT type, data FROM registry_values WHERE key_path = ?1 AND folded_name = ?2");
        if (!query) return query.failure();
        query->bindText(1, lookupPath_).bindText(2, valueName->forLookup);
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
            Outcome<Statement> upsert = connection.prepare(
                "INSERT INTO registry_values (key_path, folded_name, name, type, data) "
                "VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (key_path, folded_name) "
                "DO UPDATE SET type = excluded.type, data = excluded.data");
            if (!upsert) return upsert.failure();
            return upsert->bindText(1, lookupPath_)
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
            Outcome<Statement> remove = connection.prepare(
                "DELETE FROM registry_values WHERE key_path = ?1 AND folded_name = ?2");
            if (!remove) return remove.failure();
            Status removed =
                remove->bindText(1, lookupPath_).bindText(2, valueName->forLookup).execute();
            if (!removed) return removed;
            return connection.changes() == 0 ? fail(errors::kErrorFileNotFound) : Status::success();
        });
    }

    Outcome<std::string> subkeyName(std::uint32_t index) const override {
        Outcome<Connection*> reader = readerOrEmpty(*database_);
        if (!reader) return reader.failure();
        if (*reader == nullptr) return fail(errors::kErrorNoMoreItems);
        Outcome<Statement> query = (*reader)->prepare(
            "SELECT name FROM registry_keys WHERE parent_path = ?1 "
            "ORDER BY folded_name LIMIT 1 OFFSET ?2");
        if (!query) return query.failure();
        query->bindText(1, lookupPath_).bindInt64(2, index);
        Outcome<bool> row = query->step();
        if (!row) return row.failure();
        if (!*row) return fail(errors::kErrorNoMoreItems);
        return toAnsi(utf8ToUtf16(query->columnText(0)));
    }

private:
    std::shared_ptr<StateDatabase> database_;
    std::string lookupPath_;
    bool writable_;
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
        Outcome<Statement> query =
            (*reader)->prepare("SELECT 1 FROM registry_keys WHERE folded_path = ?1");
        if (!query) return query.failure();
        query->bindText(1, key->path.lookupPath());
        Outcome<bool> row = query->step();
        if (!row) return row.failure();
        if (!*row) return fail(errors::kErrorFileNotFound);
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
                return insertMissingKeys(connection, key->path);
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
            return deleteTree(connection, key->path.lookupPath());
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
        return std::make_unique<SqliteRegistryKey>(key.database, key.path.lookupPath(),
                                                   key.writable);
    }

    // deleteTree: the key at `lookupPath`, every key below it and all their
    // values. Names hold no backslash, so the paths below "P" are exactly
    // those from "P\" up to (not including) "P]", ']' following the backslash.
    static Status deleteTree(Connection& connection, const std::string& lookupPath) {
        std::string below = lookupPath + '\\';
        std::string pastBelow = lookupPath + ']';
        Outcome<Statement> removeKeys = connection.prepare(
            "DELETE FROM registry_keys WHERE folded_path = ?1 "
            "OR (folded_path >= ?2 AND folded_path < ?3)");
        if (!removeKeys) return removeKeys.failure();
        Status removed =
            removeKeys->bindText(1, lookupPath).bindText(2, below).bindText(3, pastBelow).execute();
        if (!removed) return removed;
        if (connection.changes() == 0) return fail(errors::kErrorFileNotFound);
        Outcome<Statement> removeValues = connection.prepare(
            "DELETE FROM registry_values WHERE key_path = ?1 "
            "OR (key_path >= ?2 AND key_path < ?3)");
        if (!removeValues) return removeValues.failure();
        return removeValues->bindText(1, lookupPath)
            .bindText(2, below)
            .bindText(3, pastBelow)
            .execute();
    }

    static Status insertMissingKeys(Connection& connection, const KeyPath& path) {
        Outcome<Statement> insert = connection.prepare(
            "INSERT INTO registry_keys (folded_path, parent_path, name, folded_name) "
            "VALUES (?1, ?2, ?3, ?4) ON CONFLICT (folded_path) DO NOTHING");
        if (!insert) return insert.failure();
        for (std::size_t depth = 1; depth <= path.names.size(); ++depth) {
            const Name& name = path.names[depth - 1];
            Statement& statement = *insert;
            Status inserted = statement.bindText(1, path.lookupPath(depth))
                                  .bindText(2, path.lookupPath(depth - 1))
                                  .bindText(3, name.asWritten)
                                  .bindText(4, name.forLookup)
                                  .execute();
            if (!inserted) return inserted;
            statement.reset();
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
