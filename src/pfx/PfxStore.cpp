#include "pfx/PfxStore.h"

#include "encoding/ErrorTable.h"
#include "encoding/FileBytes.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace pennaform {
namespace {

using platform::PfxPassword;
namespace errors = platform::errors;

std::uint32_t importFlags(std::int32_t flags, PfxKeyStorage storage) {
    std::uint32_t import = 0;
    if (storage == PfxKeyStorage::kMemoryOnly) import |= platform::pfxImportFlags::kNoPersistKey;
    if (flags & pfxLoadFlags::kExportableKeys) import |= platform::pfxImportFlags::kExportable;
    if (flags & pfxLoadFlags::kUserProtectedKeys)
        import |= platform::pfxImportFlags::kUserProtected;
    return import;
}

}  // namespace

PfxStore::~PfxStore() {
    closePfx(*this);
}

std::int32_t loadPfx(PfxStore& holder, const std::string& path, std::string_view password,
                     std::int32_t flags, PfxKeyStorage storage) {
    closePfx(holder);
    if (path.empty()) return codes::kBadArgument;
    ByteBuffer bytes;
    if (!readFile(bytes, path)) {
        holder.platformError_ = platform::readFailureError(path);
        return codes::kPfxReadFailed;
    }
    return loadPfxBytes(holder, bytes.bytes(), password, flags, storage);
}

std::int32_t loadPfxBytes(PfxStore& holder, platform::ByteView bytes, std::string_view password,
                          std::int32_t flags, PfxKeyStorage storage) {
    closePfx(holder);
    platform::Pkcs12* pkcs12 = holder.platform_.pkcs12();
    if (pkcs12 == nullptr) {
        holder.platformError_ = errors::kErrorNotSupported;
        return codes::kNotSupported;
    }
    if (!pkcs12->isPfx(bytes)) {
        holder.platformError_ = errors::kCryptEBadEncode;
        return codes::kPkcs12FormatError;
    }
    // The import verifies the file's integrity itself, once, and opens a file
    // under either empty convention when the password is empty.
    auto imported = pkcs12->importPfx(bytes, toWide(password), importFlags(flags, storage));
    if (!imported) {
        holder.platformError_ = imported.error();
        return codes::kPkcs12WrongPassword;
    }
    holder.store_ = std::move(*imported);
    holder.deleteKeysOnClose_ = true;
    return codes::kSuccess;
}

void closePfx(PfxStore& holder) {
    if (holder.store_ && holder.deleteKeysOnClose_) {
        platform::KeyProviders* keys = holder.platform_.keys();
        auto certificates = holder.store_->certificates();
        if (certificates && keys != nullptr) {
            for (const platform::StoredCertificate& certificate : *certificates) {
                if (!holder.store_->acquirePrivateKey(certificate.id)) continue;
                KeyProvInfoReading binding = keyProvInfo(*holder.store_, certificate.id);
                if (!binding.info) continue;
                (void)keys->deleteContainer({toAnsi(binding.info->containerName),
                                             toAnsi(binding.info->providerName),
                                             binding.info->providerType});
            }
        }
    }
    holder.store_.reset();
    holder.platformError_ = errors::kSuccess;
}

KeyProvInfoReading keyProvInfo(const platform::CertificateStore& store, platform::CertId id) {
    auto properties = store.properties(id);
    if (!properties) return {std::nullopt, properties.error()};
    if (!properties->keyProvInfo) return {std::nullopt, errors::kCryptENotFound};
    return {properties->keyProvInfo, errors::kSuccess};
}

std::string pfxFilePath(std::string_view folder, std::string_view name) {
    return platform::joinPath(folder, name);
}

}  // namespace pennaform
