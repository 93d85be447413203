// Registry: the per-user hive (read and written), the machine hive (read
// only) and the classes hive (where the component registers itself, read and
// written), addressed by backslash-separated key paths, with typed values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// Hive: the root key a path is relative to.
enum class Hive {
    kCurrentUser,   // HKEY_CURRENT_USER
    kLocalMachine,  // HKEY_LOCAL_MACHINE, never written by the component
    kClassesRoot,   // HKEY_CLASSES_ROOT as the user sees it: the per-user hive's
                    // Software\Classes, where the component registers itself
};

// ValueType: registry value types (REG_* numbers).
enum class ValueType : std::uint32_t {
    kNone = 0,
    kString = 1,        // REG_SZ
    kExpandString = 2,  // REG_EXPAND_SZ
    kBinary = 3,        // REG_BINARY
    kDword = 4,         // REG_DWORD, 4 bytes little-endian
    kMultiString = 7,   // REG_MULTI_SZ
};

// RegistryValue: a value's type and data. The type is any 32-bit number; the
// named ones are those the component uses. String data (kString,
// kExpandString, kMultiString) crosses the interface as 8-bit text in the
// process code page, as the A functions read and write it, and is kept as
// UTF-16, so a value reads the same under any code page that can show it.
struct RegistryValue {
    ValueType type = ValueType::kNone;
    Bytes data;
};

// RegistryKey: an open key. Key and value names compare without regard to
// letter case and keep the case they were written with. The empty value name
// is the key's default value. The caller owns the object.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;

    // queryValue: the value `name`; ERROR_FILE_NOT_FOUND when absent.
    virtual Outcome<RegistryValue> queryValue(std::string_view name) const = 0;
    // setValue: creates or replaces the value `name` in one transaction,
    // keeping `data` exactly as given: string data is stored with a
    // terminator only when it ends with one. Empty data is a value of 0
    // bytes. ERROR_ACCESS_DENIED in the machine hive; ERROR_INVALID_PARAMETER
    // for a name longer than 16383 characters.
    virtual Status setValue(std::string_view name, ValueType type, ByteView data) = 0;
    // deleteValue: removes the value `name`; ERROR_FILE_NOT_FOUND when
    // absent, ERROR_ACCESS_DENIED in the machine hive.
    virtual Status deleteValue(std::string_view name) = 0;
    // subkeyName: the name of the subkey at `index` (from 0) in ascending
    // order ignoring case; ERROR_NO_MORE_ITEMS past the last one.
    virtual Outcome<std::string> subkeyName(std::uint32_t index) const = 0;
};

// Registry: opens keys in the hives. Paths are relative to the hive's
// root, backslash-separated (empty names between backslashes are skipped, so
// the empty path and "\\" are the root itself). A key name is at most 255
// characters, a path at most 512 names deep.
class Registry {
public:
    virtual ~Registry() = default;

    // openKey: opens an existing key; ERROR_FILE_NOT_FOUND when it is
    // missing. A hive that does not exist yet (a machine hive never installed,
    // a user who never wrote a value) is an empty one: its root opens and
    // holds nothing.
    virtual Outcome<std::unique_ptr<RegistryKey>> openKey(Hive hive, std::string_view path) = 0;
    // createKey: opens the per-user key `path`, creating it and every missing
    // key above it in one transaction. ERROR_INVALID_PARAMETER for a name or
    // depth beyond the limits; otherwise the store's error
    // (ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ...).
    virtual Outcome<std::unique_ptr<RegistryKey>> createKey(std::string_view path) = 0;
    // createKeyIn: createKey in `hive`: kCurrentUser is createKey itself,
    // kClassesRoot its classes hive; ERROR_ACCESS_DENIED for kLocalMachine.
    virtual Outcome<std::unique_ptr<RegistryKey>> createKeyIn(Hive hive, std::string_view path) = 0;
    // deleteKeyTree: deletes the key `path` of `hive` with every subkey and
    // value below it, in one transaction (RegDeleteTree, then RegDeleteKey).
    // ERROR_FILE_NOT_FOUND when the key is missing; ERROR_ACCESS_DENIED for
    // the hive's root and in the machine hive; the store's error otherwise.
    virtual Status deleteKeyTree(Hive hive, std::string_view path) = 0;
};

}  // namespace pennaform::platform
