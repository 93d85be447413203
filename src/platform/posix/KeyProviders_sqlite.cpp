// Key containers on SQLite. A container is a row of key_containers, its keys
// rows of container_keys (one per key spec) with the flags they were made
// with. Names are kept as UTF-8 and compared with ASCII letters folded, so
// "MyKeys" and "MYKEYS" name one container, as on Windows. Memory-only
// containers (a temporary PFX import's) are kept beside the database in the
// service object under the same folded names, and never written.
#include "platform/posix/KeyProviders_sqlite.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/CodePage.h"
#include "platform/ProviderNames.h"
#include "platform/posix/PreparedReads.h"
#include "platform/posix/RsaKeys_openssl.h"

namespace pennaform::platform {
namespace {

constexpr std::string_view kStrongProvider = providerNames::kStrong;
constexpr std::string_view kBaseProvider = providerNames::kBase;
constexpr std::string_view kAesProvider = providerNames::kAes;
constexpr std::uint32_t kKeptFlags =
    keyFlags::kExportable | keyFlags::kUserProtected | keyFlags::kArchivable;

// The installed providers, in the order the platform enumerates them
// (ascending by name, ignoring case).
std::vector<ProviderInfo> softwareProviders() {
    std::vector<ProviderInfo> providers;
    for (const ProviderName& p : kSoftwareProviders)
        providers.push_back({std::string(p.name), p.type});
    return providers;
}

std::string foldedName(std::string_view utf8) {
    return asciiUppered(utf8);
}

// loginName: the user's login name, which names the default container.
std::string loginName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name) {
        return found->pw_name;
    }
    const char* user = std::getenv("USER");
    return user && *user ? user : "user";
}

// resolveProvider: the provider a ContainerRef names, with the failures of
// CryptAcquireContext. The default of type 1 is Strong, as on current
// Windows; of type 24 the RSA and AES provider.
Outcome<ProviderInfo> resolveProvider(const ContainerRef& ref) {
    if (ref.providerType < 1 || ref.providerType > 999) return fail(errors::kNteBadProvType);
    if (ref.provider.empty()) {
        if (ref.providerType == providerTypes::kRsaFull) {
            return ProviderInfo{std::string(kStrongProvider), ref.providerType};
        }
        if (ref.providerType == providerTypes::kRsaAes) {
            return ProviderInfo{std::string(kAesProvider), ref.providerType};
        }
        return fail(errors::kNteProvTypeNotDef);
    }
    for (const ProviderInfo& provider : softwareProviders()) {
        if (!equalIgnoringAsciiCase(provider.name, ref.provider)) continue;
        if (provider.type != ref.providerType) return fail(errors::kNteProvTypeNoMatch);
        return provider;
    }
    return fail(errors::kNteKeysetNotDef);
}

bool isKnownSpec(KeySpec spec) {
    return spec == KeySpec::kKeyExchange || spec == KeySpec::kSignature;
}

AlgId algorithmOf(KeySpec spec) {
    return spec == KeySpec::kSignature ? algorithms::kRsaSign : algorithms::kRsaKeyExchange;
}

// ContainerIdentity: a container as opened: its stored name and provider.
struct ContainerIdentity {
    std::string name;    // process code page
    std::string folded;  // UTF-8, the lookup key
    ProviderInfo provider;
    bool inMemory = false;  // a memory-only container
};

// StoredKey: one key of a container as the database holds it.
struct StoredKey {
    std::uint32_t flags = 0;
    openssl::Pkey key;
};

// StoredKeyBytes: one key of a container before it is decoded.
struct StoredKeyBytes {
    std::uint32_t flags = 0;
    SecretBytes pkcs8;
};

// MemoryContainers: the memory-only containers of one key service, by
// folded name, each with its keys as PKCS#8 bytes that are wiped when the
// key or its container goes. Handles look their container up at each use,
// so a deleted one is gone for every handle at once.
class MemoryContainers {
public:
    // nameOf: the name a container was made with; nullopt when there is none.
    std::optional<std::string> nameOf(const std::string& folded) const {
        std::lock_guard lock(mutex_);
        auto found = containers_.find(folded);
        if (found == containers_.end()) return std::nullopt;
        return found->second.name;
    }

    // create: a new empty container; NTE_EXISTS when the name is taken here.
    Status create(const ContainerIdentity& identity) {
        std::lock_guard lock(mutex_);
        if (!containers_.try_emplace(identity.folded, Container{identity.name, {}}).second) {
            return fail(errors::kNteExists);
        }
        return Status::success();
    }

    // storeKey: puts a key into slot `spec`, replacing the one there;
    // NTE_BAD_KEYSET when the container has gone.
    Status storeKey(const std::string& folded, KeySpec spec, std::uint32_t flags,
                    SecretBytes pkcs8) {
        std::lock_guard lock(mutex_);
        auto found = containers_.find(folded);
        if (found == containers_.end()) return fail(errors::kNteBadKeyset);
        found->second.keys.insert_or_assign(spec, Key{flags & kKeptFlags, std::move(pkcs8)});
        return Status::success();
    }

    // readKey: a copy of the key in slot `spec`, as readKey reads a
    // persisted one.
    Outcome<StoredKeyBytes> readKey(const std::string& folded, KeySpec spec) const {
        std::lock_guard lock(mutex_);
        auto found = containers_.find(folded);
        if (found == containers_.end()) return fail(errors::kNteBadKeyset);
        auto key = found->second.keys.find(spec);
        if (key == found->second.keys.end()) return fail(errors::kNteNoKey);
        return StoredKeyBytes{key->second.flags, SecretBytes::copyOf(key->second.pkcs8.view())};
    }

    // remove: drops a container and wipes its keys; false when there is none.
    bool remove(const std::string& folded) {
        std::lock_guard lock(mutex_);
        return containers_.erase(folded) != 0;
    }

private:
    struct Key {
        std::uint32_t flags = 0;
        SecretBytes pkcs8;
    };
    struct Container {
        std::string name;  // process code page
        std::map<KeySpec, Key> keys;
    };

    mutable std::mutex mutex_;
    std::map<std::string, Container> containers_;
};

// KeyStore: what every container and key handle of one provider set shares.
struct KeyStore {
    std::shared_ptr<StateDatabase> database;
    std::shared_ptr<OpenSslLibrary> library;
    DialogLookup dialogs;
    std::shared_ptr<MemoryContainers> memory;
};

// writeKeys: a change to the stored containers; NTE_PERM when the database
// may not be written, the number the key service's callers read for it.
Status writeKeys(const KeyStore& store, const std::function<Status(Connection&)>& change) {
    return deniedAs(store.database->write(change), errors::kNtePerm);
}

// readKey: the stored bytes of the key in slot `spec`; NTE_NO_KEY when the
// slot is empty, NTE_BAD_KEYSET when the container has gone. The query is
// prepared for the call, or once in `reads` when the caller keeps one.
Outcome<StoredKeyBytes> readKey(const KeyStore& store, const ContainerIdentity& identity,
                                KeySpec spec, PreparedReads* reads = nullptr) {
    if (identity.inMemory) return store.memory->readKey(identity.folded, spec);
    Outcome<Connection*> reader = store.database->reader();
    if (!reader) {
        return reader.error() == errors::kErrorFileNotFound ? fail(errors::kNteBadKeyset)
                                                            : reader.failure();
    }
    constexpr std::string_view kQuery =
        "SELECT k.flags, k.private_key FROM key_containers c LEFT JOIN container_keys k "
        "ON k.container = c.folded_name AND k.key_spec = ?2 WHERE c.folded_name = ?1";
    PreparedReads once;
    Outcome<PreparedReads::Lease> query =
        (reads != nullptr ? *reads : once).statement(**reader, kQuery);
    if (!query) return query.failure();
    Statement& statement = **query;
    statement.bindText(1, identity.folded).bindInt64(2, std::int64_t(spec));
    Outcome<bool> row = statement.step();
    if (!row) return row.failure();
    if (!*row) return fail(errors::kNteBadKeyset);
    SecretBytes der(statement.columnBlob(1));
    if (der.view().empty()) return fail(errors::kNteNoKey);
    return StoredKeyBytes{std::uint32_t(statement.columnInt64(0)), std::move(der)};
}

// loadKey: the key in slot `spec`, decoded; the failures of readKey.
Outcome<StoredKey> loadKey(const KeyStore& store, const ContainerIdentity& identity, KeySpec spec) {
    Outcome<StoredKeyBytes> stored = readKey(store, identity, spec);
    if (!stored) return stored.failure();
    Outcome<openssl::Pkey> key = rsaKeys::fromPkcs8(store.library->context(), stored->pkcs8.view());
    if (!key) return key.failure();
    return StoredKey{stored->flags, std::move(*key)};
}

// confirmUse: asks the user before a user-protected key is used.
Status confirmUse(const KeyStore& store, const ContainerIdentity& identity, KeyUse use) {
    PlatformDialogs* dialogs = store.dialogs ? store.dialogs() : nullptr;
    if (dialogs == nullptr) return fail(errors::kNteSilentContext);
    return dialogs->confirmKeyUse({identity.name, identity.provider.name, use});
}

// storeKey: puts a key into slot `spec` of an existing container, replacing
// the one there, inside the caller's transaction.
Status storeKey(Connection& connection, const std::string& folded, KeySpec spec,
                std::uint32_t flags, ByteView pkcs8) {
    Outcome<Statement> exists =
        connection.prepare("SELECT 1 FROM key_containers WHERE folded_name = ?1");
    if (!exists) return exists.failure();
    exists->bindText(1, folded);
    Outcome<bool> found = exists->step();
    if (!found) return found.failure();
    if (!*found) return fail(errors::kNteBadKeyset);
    Outcome<Statement> insert = connection.prepare(
        "INSERT OR REPLACE INTO container_keys (container, key_spec, flags, private_key) "
        "VALUES (?1, ?2, ?3, ?4)");
    if (!insert) return insert.failure();
    insert->bindText(1, folded)
        .bindInt64(2, std::int64_t(spec))
        .bindInt64(3, flags & kKeptFlags)
        .bindBlob(4, pkcs8);
    return insert->execute();
}

class SoftwareRsaKey : public RsaKey {
public:
    SoftwareRsaKey(std::shared_ptr<const KeyStore> store, ContainerIdentity identity, KeySpec spec,
                   StoredKey stored, bool fromGeneration)
        : store_(std::move(store)),
          identity_(std::move(identity)),
          spec_(spec),
          stored_(std::move(stored)),
          fromGeneration_(fromGeneration) {}

    KeySpec keySpec() const override { return spec_; }

    Outcome<Bytes> exportPublicKeyBlob() const override {
        return rsaKeys::publicKeyBlob(stored_.key.get(), algorithmOf(spec_));
    }

    Outcome<SecretBytes> exportPrivateKeyBlob() const override {
        bool exportable = (stored_.flags & keyFlags::kExportable) != 0 ||
                          ((stored_.flags & keyFlags::kArchivable) != 0 && fromGeneration_);
        if (!exportable) return fail(errors::kNteBadKeyState);
        // The user allowed the key when it was made; its maker's handle
        // reads it back without asking again.
        if ((stored_.flags & keyFlags::kUserProtected) != 0 && !fromGeneration_) {
            Status allowed = confirmUse(*store_, identity_, KeyUse::kExport);
            if (!allowed) return allowed.failure();
        }
        return rsaKeys::privateKeyBlob(stored_.key.get(), algorithmOf(spec_));
    }

    // The software providers keep no certificates beside their keys.
    Status setCertificate(ByteView) override { return fail(errors::kNteBadType); }

private:
    std::shared_ptr<const KeyStore> store_;
    ContainerIdentity identity_;
    KeySpec spec_;
    StoredKey stored_;
    // fromGeneration_: the handle generateKeyPair returned: an archivable
    // key's export window, and a protected key the user has just allowed.
    bool fromGeneration_;
};

class SoftwareKeyContainer : public KeyContainer {
public:
    SoftwareKeyContainer(std::shared_ptr<const KeyStore> store, ContainerIdentity identity)
        : store_(std::move(store)), identity_(std::move(identity)) {}

    const std::string& name() const override { return identity_.name; }
    const std::string& providerName() const override { return identity_.provider.name; }
    std::uint32_t providerType() const override { return identity_.provider.type; }

    Outcome<std::unique_ptr<RsaKey>> generateKeyPair(KeySpec spec, std::uint32_t bits,
                                                     std::uint32_t flags) override {
        if (!isKnownSpec(spec)) return fail(errors::kNteBadAlgId);
        if (bits == 0) bits = identity_.provider.name == kBaseProvider ? 512 : 1024;
        if (bits < rsaKeys::kMinimumBits || bits > rsaKeys::kMaximumBits || bits % 8 != 0) {
            return fail(errors::kNteBadFlags);
        }
        if ((flags & keyFlags::kUserProtected) != 0) {
            Status allowed = confirmUse(*store_, identity_, KeyUse::kCreate);
            if (!allowed) return allowed.failure();
        }
        Outcome<openssl::Pkey> key = rsaKeys::generate(store_->library->context(), bits);
        if (!key) return key.failure();
        Outcome<SecretBytes> der = rsaKeys::toPkcs8(key->get());
        if (!der) return der.failure();
        Status stored =
            identity_.inMemory
                ? store_->memory->storeKey(identity_.folded, spec, flags, std::move(*der))
                : writeKeys(*store_, [&](Connection& connection) {
                      return storeKey(connection, identity_.folded, spec, flags, der->view());
                  });
        if (!stored) return stored.failure();
        return std::unique_ptr<RsaKey>(new SoftwareRsaKey(
            store_, identity_, spec, StoredKey{flags & kKeptFlags, std::move(*key)}, true));
    }

    Outcome<std::unique_ptr<RsaKey>> userKey(KeySpec spec) override {
        Outcome<StoredKey> stored = loadKey(*store_, identity_, spec);
        if (!stored) return stored.failure();
        return std::unique_ptr<RsaKey>(
            new SoftwareRsaKey(store_, identity_, spec, std::move(*stored), false));
    }

    Outcome<Bytes> publicKeyInfo(KeySpec spec) const override {
        Outcome<StoredKey> stored = loadKey(*store_, identity_, spec);
        if (!stored) return stored.failure();
        return rsaKeys::subjectPublicKeyInfo(stored->key.get());
    }

    Outcome<Bytes> signHash(KeySpec spec, AlgId hashAlgorithm, ByteView hash) override {
        bool sha2 = hashAlgorithm == algorithms::kSha256 || hashAlgorithm == algorithms::kSha384 ||
                    hashAlgorithm == algorithms::kSha512;
        if (sha2 && identity_.provider.type == providerTypes::kRsaFull) {
            return fail(errors::kNteBadAlgId);  // not in a type-1 provider's table
        }
        const std::lock_guard lock(decodedMutex_);
        Outcome<const StoredKey*> stored = signingKey(spec);
        if (!stored) return stored.failure();
        if (((*stored)->flags & keyFlags::kUserProtected) != 0) {
            Status allowed = confirmUse(*store_, identity_, KeyUse::kSign);
            if (!allowed) return allowed.failure();
        }
        return rsaKeys::signHash(store_->library->context(), (*stored)->key.get(), hashAlgorithm,
                                 hash);
    }

    // exportPkcs8: see SoftwareKeyProviders::exportPrivateKey. Every stored
    // key is PKCS#8 that decoded before it was stored (made here or
    // imported), so it leaves as stored, not decoded and encoded again.
    Outcome<SecretBytes> exportPkcs8(KeySpec spec) const {
        Outcome<StoredKeyBytes> stored = readKey(*store_, identity_, spec);
        if (!stored) return stored.failure();
        if ((stored->flags & keyFlags::kExportable) == 0) return fail(errors::kNteBadKeyState);
        if ((stored->flags & keyFlags::kUserProtected) != 0) {
            Status allowed = confirmUse(*store_, identity_, KeyUse::kExport);
            if (!allowed) return allowed.failure();
        }
        return std::move(stored->pkcs8);
    }

    Outcome<Bytes> decryptKey(KeySpec spec, ByteView wrapped) override {
        Outcome<StoredKey> stored = loadKey(*store_, identity_, spec);
        if (!stored) return stored.failure();
        if (spec == KeySpec::kSignature) return fail(errors::kNteBadKey);  // signs only
        if ((stored->flags & keyFlags::kUserProtected) != 0) {
            Status allowed = confirmUse(*store_, identity_, KeyUse::kDecrypt);
            if (!allowed) return allowed.failure();
        }
        Outcome<SecretBytes> key =
            rsaKeys::decryptKeyTransport(store_->library->context(), stored->key.get(), wrapped);
        if (!key) return key.failure();
        return Bytes(key->view().begin(), key->view().end());
    }

private:
    // signingKey: the key of slot `spec` as the last signature decoded it,
    // while the stored key is still the same bytes; read again, and decoded
    // again only when it changed. Signing this way costs one read of the
    // row, not the PKCS#8 decoding, and a key deleted or replaced in any
    // process is never used after the change.
    Outcome<const StoredKey*> signingKey(KeySpec spec) {
        Outcome<StoredKeyBytes> stored = readKey(*store_, identity_, spec, &reads_);
        if (!stored) {
            decoded_.reset();
            return stored.failure();
        }
        const ByteView bytes = stored->pkcs8.view();
        if (!decoded_ || decoded_->spec != spec ||
            !std::equal(bytes.begin(), bytes.end(), decoded_->pkcs8.view().begin(),
                        decoded_->pkcs8.view().end())) {
            decoded_.reset();
            Outcome<openssl::Pkey> key = rsaKeys::fromPkcs8(store_->library->context(), bytes);
            if (!key) return key.failure();
            decoded_ = DecodedKey{spec, std::move(stored->pkcs8), {0, std::move(*key)}};
        }
        decoded_->stored.flags = stored->flags;
        return &decoded_->stored;
    }

    struct DecodedKey {
        KeySpec spec;
        SecretBytes pkcs8;
        StoredKey stored;
    };

    std::shared_ptr<const KeyStore> store_;
    ContainerIdentity identity_;
    std::mutex decodedMutex_;  // the container may be shared between threads
    std::optional<DecodedKey> decoded_;
    PreparedReads reads_;  // signingKey's, under decodedMutex_
};

class SqliteKeyProviders : public SoftwareKeyProviders {
public:
    explicit SqliteKeyProviders(std::shared_ptr<const KeyStore> store) : store_(std::move(store)) {}

    std::vector<ProviderInfo> providers() const override { return softwareProviders(); }

    Outcome<std::unique_ptr<KeyContainer>> openContainer(const ContainerRef& ref) override {
        Outcome<ContainerIdentity> identity = identify(ref);
        if (!identity) return identity.failure();
        if (std::optional<std::string> name = store_->memory->nameOf(identity->folded)) {
            identity->name = std::move(*name);
            identity->inMemory = true;
            return opened(std::move(*identity));
        }
        Outcome<Connection*> reader = store_->database->reader();
        if (!reader) {
            return reader.error() == errors::kErrorFileNotFound ? fail(errors::kNteBadKeyset)
                                                                : reader.failure();
        }
        Outcome<Statement> query =
            (*reader)->prepare("SELECT name FROM key_containers WHERE folded_name = ?1");
        if (!query) return query.failure();
        query->bindText(1, identity->folded);
        Outcome<bool> row = query->step();
        if (!row) return row.failure();
        if (!*row) return fail(errors::kNteBadKeyset);
        identity->name = toAnsi(utf8ToUtf16(query->columnText(0)));
        return opened(std::move(*identity));
    }

    Outcome<std::unique_ptr<KeyContainer>> createContainer(const ContainerRef& ref) override {
        Outcome<ContainerIdentity> identity = identify(ref);
        if (!identity) return identity.failure();
        if (store_->memory->nameOf(identity->folded)) return fail(errors::kNteExists);
        Status created = writeKeys(*store_, [&](Connection& connection) {
            return insertContainer(connection, *identity);
        });
        if (!created) return created.failure();
        return opened(std::move(*identity));
    }

    Outcome<std::unique_ptr<KeyContainer>> createContainerWithKey(
        const ContainerRef& ref, KeySpec spec, std::uint32_t flags, ByteView pkcs8,
        ContainerStorage storage) override {
        if (!isKnownSpec(spec)) return fail(errors::kNteBadAlgId);
        Outcome<openssl::Pkey> key = rsaKeys::fromPkcs8(store_->library->context(), pkcs8);
        if (!key) return key.failure();
        Outcome<ContainerIdentity> identity = identify(ref);
        if (!identity) return identity.failure();
        if (storage == ContainerStorage::kMemoryOnly)
            return createInMemory(std::move(*identity), spec, flags, pkcs8);
        if (store_->memory->nameOf(identity->folded)) return fail(errors::kNteExists);
        Status created = writeKeys(*store_, [&](Connection& connection) -> Status {
            Status inserted = insertContainer(connection, *identity);
            if (!inserted) return inserted;
            return storeKey(connection, identity->folded, spec, flags, pkcs8);
        });
        if (!created) return created.failure();
        return opened(std::move(*identity));
    }

    Outcome<SecretBytes> exportPrivateKey(const ContainerRef& ref, KeySpec spec) override {
        Outcome<std::unique_ptr<KeyContainer>> container = openContainer(ref);
        if (!container) return container.failure();
        return static_cast<const SoftwareKeyContainer&>(**container).exportPkcs8(spec);
    }

    Status deleteContainer(const ContainerRef& ref) override {
        Outcome<ContainerIdentity> identity = identify(ref);
        if (!identity) return identity.failure();
        if (store_->memory->remove(identity->folded)) return Status::success();
        return writeKeys(*store_, [&](Connection& connection) -> Status {
            Outcome<Statement> container =
                connection.prepare("DELETE FROM key_containers WHERE folded_name = ?1");
            if (!container) return container.failure();
            container->bindText(1, identity->folded);
            Status removed = container->execute();
            if (!removed) return removed;
            if (connection.changes() == 0) return fail(errors::kNteBadKeyset);
            Outcome<Statement> keys =
                connection.prepare("DELETE FROM container_keys WHERE container = ?1");
            if (!keys) return keys.failure();
            keys->bindText(1, identity->folded);
            // The WAL still holds the frames that wrote the keys.
            store_->database->purgeJournalAfterCommit();
            return keys->execute();
        });
    }

private:
    // identify: the provider and the names of `ref`, the default container
    // being named after the user.
    static Outcome<ContainerIdentity> identify(const ContainerRef& ref) {
        Outcome<ProviderInfo> provider = resolveProvider(ref);
        if (!provider) return provider.failure();
        std::string name = ref.container.empty() ? toAnsi(utf8ToUtf16(loginName())) : ref.container;
        std::string folded = foldedName(utf16ToUtf8(toWide(name)));
        return ContainerIdentity{std::move(name), std::move(folded), std::move(*provider)};
    }

    // createInMemory: a memory-only container holding `pkcs8`. Its name must
    // be free in the database too, since both share one namespace.
    Outcome<std::unique_ptr<KeyContainer>> createInMemory(ContainerIdentity identity, KeySpec spec,
                                                          std::uint32_t flags, ByteView pkcs8) {
        Outcome<bool> persisted = existsInDatabase(identity.folded);
        if (!persisted) return persisted.failure();
        if (*persisted) return fail(errors::kNteExists);
        identity.inMemory = true;
        Status created = store_->memory->create(identity);
        if (!created) return created.failure();
        Status stored = store_->memory->storeKey(identity.folded, spec, flags,
                                                 SecretBytes(Bytes(pkcs8.begin(), pkcs8.end())));
        if (!stored) return stored.failure();
        return opened(std::move(identity));
    }

    // existsInDatabase: whether the database holds a container of the name;
    // false while there is no database yet.
    Outcome<bool> existsInDatabase(const std::string& folded) const {
        Outcome<Connection*> reader = store_->database->reader();
        if (!reader) {
            if (reader.error() == errors::kErrorFileNotFound) return false;
            return reader.failure();
        }
        Outcome<Statement> query =
            (*reader)->prepare("SELECT 1 FROM key_containers WHERE folded_name = ?1");
        if (!query) return query.failure();
        query->bindText(1, folded);
        return query->step();
    }

    static Status insertContainer(Connection& connection, const ContainerIdentity& identity) {
        Outcome<Statement> insert = connection.prepare(
            "INSERT OR IGNORE INTO key_containers (folded_name, name) VALUES (?1, ?2)");
        if (!insert) return insert.failure();
        insert->bindText(1, identity.folded).bindText(2, utf16ToUtf8(toWide(identity.name)));
        Status inserted = insert->execute();
        if (!inserted) return inserted;
        return connection.changes() == 0 ? fail(errors::kNteExists) : Status::success();
    }

    std::unique_ptr<KeyContainer> opened(ContainerIdentity identity) const {
        return std::make_unique<SoftwareKeyContainer>(store_, std::move(identity));
    }

    std::shared_ptr<const KeyStore> store_;
};

}  // namespace

std::unique_ptr<SoftwareKeyProviders> makeSoftwareKeyProviders(
    std::shared_ptr<StateDatabase> database, std::shared_ptr<OpenSslLibrary> library,
    DialogLookup dialogs) {
    auto store = std::make_shared<const KeyStore>(KeyStore{std::move(database), std::move(library),
                                                           std::move(dialogs),
                                                           std::make_shared<MemoryContainers>()});
    return std::make_unique<SqliteKeyProviders>(std::move(store));
}

}  // namespace pennaform::platform
