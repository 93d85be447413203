// PfxStore: the one loader of PFX files. It reads the file, checks the
// password and imports the contents into a temporary memory store, whose key
// containers it removes again when it is closed unless told to keep them.
// Unless the caller asks for persisted keys, the containers live in this
// process only, so a process killed while a file is loaded leaves no key on
// disk.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace pennaform {

// Bits of loadPfx's flags.
namespace pfxLoadFlags {
inline constexpr std::int32_t kExportableKeys = 0x1;
inline constexpr std::int32_t kUserProtectedKeys = 0x2;
}  // namespace pfxLoadFlags

// PfxKeyStorage: where loadPfx puts the imported keys.
enum class PfxKeyStorage {
    kMemoryOnly,  // in this process only, gone with it (temporary loads)
    kPersisted,   // in the user's key containers, for a caller that keeps them
};

// PfxStore: the holder of one imported PFX file. Closed (its containers
// removed as closePfx says) when destroyed; the platform must outlive it.
class PfxStore {
public:
    explicit PfxStore(platform::Platform& platform) : platform_(platform) {}
    PfxStore(const PfxStore&) = delete;
    PfxStore& operator=(const PfxStore&) = delete;
    ~PfxStore();

    // store: the imported store, or null when none is held.
    platform::CertificateStore* store() const { return store_.get(); }
    // platformError: the platform's error of the last failing step, 0 after
    // a success and after closing.
    platform::PlatformError platformError() const { return platformError_; }
    // keepKeysOnClose: the caller has taken the imported keys over (copied
    // the certificates with their bindings elsewhere); closing leaves the
    // containers in place.
    void keepKeysOnClose() { deleteKeysOnClose_ = false; }
    bool deletesKeysOnClose() const { return deleteKeysOnClose_; }

private:
    friend std::int32_t loadPfxBytes(PfxStore&, platform::ByteView, std::string_view, std::int32_t,
                                     PfxKeyStorage);
    friend std::int32_t loadPfx(PfxStore&, const std::string&, std::string_view, std::int32_t,
                                PfxKeyStorage);
    friend void closePfx(PfxStore&);

    platform::Platform& platform_;
    std::unique_ptr<platform::CertificateStore> store_;
    platform::PlatformError platformError_ = 0;
    bool deleteKeysOnClose_ = true;
};

// loadPfx: closes what `holder` holds, then reads the PFX file at `path`
// and imports it with `password` (8-bit text in the process code page; an
// empty one opens a file protected by the empty or by the NULL password).
// `flags` (pfxLoadFlags) make the imported keys exportable or
// user-protected; other bits are ignored. `storage` says where the keys go:
// memory only unless the caller will keep them (keepKeysOnClose) beyond
// this process. Returns 0 with the store held, or
// the component's code with the holder empty and its platform error set:
// 5005 empty path, 5401 the file cannot be read or is empty, 5207 not a PFX
// file, 5208 wrong password or the import failed.
std::int32_t loadPfx(PfxStore& holder, const std::string& path, std::string_view password,
                     std::int32_t flags, PfxKeyStorage storage = PfxKeyStorage::kMemoryOnly);
// loadPfxBytes: loadPfx on bytes already read (steps from the format check
// on), for callers that hold the file's content.
std::int32_t loadPfxBytes(PfxStore& holder, platform::ByteView bytes, std::string_view password,
                          std::int32_t flags, PfxKeyStorage storage = PfxKeyStorage::kMemoryOnly);

// closePfx: releases the held store. Unless the keys were kept, the key
// container of every certificate whose private key can be reached is
// deleted first (a memory-only one dropped and its keys wiped); failures there only leave their
// error for the moment and do not stop the others. The platform error is 0 afterwards.
void closePfx(PfxStore& holder);

// KeyProvInfoReading: a certificate's key-provider information, or nothing
// with the platform's error (CRYPT_E_NOT_FOUND when it has none).
struct KeyProvInfoReading {
    std::optional<platform::KeyProvInfo> info;
    platform::PlatformError error = 0;
};

// keyProvInfo: a copy of the key-provider information of certificate `id`.
KeyProvInfoReading keyProvInfo(const platform::CertificateStore& store, platform::CertId id);

// pfxFilePath: the path of file `name` in `folder`: the two joined with a
// '/' unless the folder is empty or already ends with one.
std::string pfxFilePath(std::string_view folder, std::string_view name);

}  // namespace pennaform
