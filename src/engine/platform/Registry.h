// Registry: the per-user hive (read and written) and the machine hive (read
// only), addressed by backslash-separated key paths, with typed values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/platform/Outcome.h"
#include "engine/platform/PlatformTypes.h"

namespace pennaform::platform {

// Hive: the root key a path is relative to.
enum class Hive {
    kCurrentUser,   // HKEY_CURRENT_USER
    kLocalMachine,  // HKEY_LOCAL_MACHINE, never written by the component
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

// RegistryValue: a value's type and data. String data is 8-bit text in the
// process code page, as the A functions read it; it ends with a NUL when one
// was stored.
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
    // setValue: creates or replaces the value `name` in one transaction.
    // Non-empty string data (kString, kExpandString) that does not end with a
    // NUL is stored with one added, as RegSetValueExA stores a C string whose
    // length leaves the terminator out; empty data is stored as 0 bytes.
    // ERROR_ACCESS_DENIED in the machine hive.
    virtual Status setValue(std::string_view name, ValueType type, ByteView data) = 0;
    // deleteValue: removes the value `name`; ERROR_FILE_NOT_FOUND when
    // absent, ERROR_ACCESS_DENIED in the machine hive.
    virtual Status deleteValue(std::string_view name) = 0;
    // subkeyName: the name of the subkey at `index` (from 0) in ascending
    // order ignoring case; ERROR_NO_MORE_ITEMS past the last one.
    virtual Outcome<std::string> subkeyName(std::uint32_t index) const = 0;
};

// Registry: opens keys in the two hives. Paths are relative to the hive's
// root, backslash-separated; the empty path is the root itself.
class Registry {
  public:
    virtual ~Registry() = default;

    // openKey: opens an existing key; ERROR_FILE_NOT_FOUND when it (or the
    // whole hive, such as a machine hive never installed) is missing.
    virtual Outcome<std::unique_ptr<RegistryKey>> openKey(Hive hive, std::string_view path) = 0;
    // createKey: opens the per-user key `path`, creating it and every missing
    // key above it. Fails with the store's error (ERROR_ACCESS_DENIED, ...).
    virtual Outcome<std::unique_ptr<RegistryKey>> createKey(std::string_view path) = 0;
};

}  // namespace pennaform::platform
