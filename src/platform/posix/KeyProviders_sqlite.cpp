// Key containers on SQLite. A container is a row of key_containers, its keys
// rows of container_keys (one per key spec) with the flags they were made
// with. Names are kept as UTF-8 and compared with ASCII letters folded, so
// "MyKeys" and "MYKEYS" name one container, as on Windows.
#include "platform/posix/KeyProviders_sqlite.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"
#include "platform/posix/RsaKeys_openssl.h"

namespace pennaform::platform {
namespace {

constexpr std::string_view kStrongProvider = "Microsoft Strong Cryptographic Provider";
constexpr std::string_view kBaseProvider = "Microsoft Base Cryptographic Provider v1.0";
constexpr std::string_view kAesProvider = "Microsoft Enhanced RSA and AES Cryptographic Provider";
constexpr std::uint32_t kKeptFlags =
    keyFlags::kExportable | keyFlags::kUserProtected | keyFlags::kArchivable;

// The installed providers, in the order the platform enumerates them
// (ascending by name, ignoring case).
std::vector<ProviderInfo> softwareProviders() {
    return {
        {std::string(kBaseProvider), providerTypes::kRsaFull},
        {"Microsoft Enhanced Cryptographic Provider v1.0", providerTypes::kRsaFull},
        {std::string(kAesProvider), providerTypes::kRsaAes},
        {"Microsoft Enhanced RSA and AES Cryptographic Provider (Prototype)",
         providerTypes::kRsaAes},
        {std::string(kStrongProvider), providerTypes::kRsaFull},
    };
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = char(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

std::string foldedName(std::string_view utf8) {
    std::string folded(utf8);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    }
    return folded;
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

// KeyStore: what every container and key handle of one provider set shares.
struct KeyStore {
    std::shared_ptr<StateDatabase> database;
    std::shared_ptr<OpenSslLibrary> library;
    DialogLookup dialogs;
};

// ContainerIdentity: a container as opened: its stored name and provider.
struct ContainerIdentity {
    std::string name;    // process code page
    std::string folded;  // UTF-8, the lookup key
    ProviderInfo provider;
};

// StoredKey: one key of a container as the database holds it.
struct StoredKey {
    std::uint32_t flags = 0;
    openssl::Pkey key;
};

// loadKey: the key in slot `spec`; NTE_NO_KEY when the slot is empty,
// NTE_BAD_KEYSET when the container has gone.
Outcome<StoredKey> loadKey(const KeyStore& store, const ContainerIdentity& identity, KeySpec spec) {
    Outcome<Connection*> reader = store.database->reader();
    if (!reader) {
        return reader.error() == errors::kErrorFileNotFound ? fail(errors::kNteBadKeyset)
                                                            : reader.failure();
    }
    Outcome<Statement> query = (*reader)->prepare(
        "SELECT k.flags, k.private_key FROM key_containers c LEFT JOIN container_keys k "
        "ON k.container = c.folded_name AND k.key_spec = ?2 WHERE c.folded_name = ?1");
    if (!query) return query.failure();
    query->bindText(1, identity.folded).bindInt64(2, std::int64_t(spec));
    Outcome<bool> row = query->step();
    if (!row) return row.failure();
    if (!*row) return fail(errors::kNteBadKeyset);
    SecretBytes der(query->columnBlob(1));
    if (der.view().empty()) return fail(errors::kNteNoKey);
    Outcome<openssl::Pkey> key = rsaKeys::fromPkcs8(store.library->context(), der.view());
    if (!key) return key.failure();
    return StoredKey{std::uint32_t(query->columnInt64(0)), std::move(*key)};
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
                   StoredKey stored, bool exportWindowOpen)
        : store_(std::move(store)),
          identity_(std::move(identity)),
          spec_(spec),
          stored_(std::move(stored)),
          exportWindowOpen_(exportWindowOpen) {}

    KeySpec keySpec() const override { return spec_; }

    Outcome<Bytes> exportPublicKeyBlob() const override {
        return rsaKeys::publicKeyBlob(stored_.key.get(), algorithmOf(spec_));
    }

    Outcome<SecretBytes> exportPrivateKeyBlob() const override {
        bool exportable = (stored_.flags & keyFlags::kExportable) != 0 ||
                          ((stored_.flags & keyFlags::kArchivable) != 0 && exportWindowOpen_);
        if (!exportable) return fail(errors::kNteBadKeyState);
        if ((stored_.flags & keyFlags::kUserProtected) != 0) {
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
    bool exportWindowOpen_;  // an archivable key's handle from generateKeyPair
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
        Outcome<openssl::Pkey> key = rsaKeys::generate(store_->library->context(), bits);
        if (!key) return key.failure();
        Outcome<SecretBytes> der = rsaKeys::toPkcs8(key->get());
        if (!der) return der.failure();
        Status stored = store_->database->write([&](Connection& connection) {
            return storeKey(connection, identity_.folded, spec, flags, der->view());
        });
        if (!stored) return stored.failure();
        return std::unique_ptr<RsaKey>(new SoftwareRsaKey(
            store_, identity_, spec, StoredKey{flags & kKeptFlags, std::move(*key)},
            (flags & keyFlags::kArchivable) != 0));
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
        Outcome<StoredKey> stored = loadKey(*store_, identity_, spec);
        if (!stored) return stored.failure();
        if ((stored->flags & keyFlags::kUserProtected) != 0) {
            Status allowed = confirmUse(*store_, identity_, KeyUse::kSign);
            if (!allowed) return allowed.failure();
        }
        return rsaKeys::signHash(store_->library->context(), stored->key.get(), hashAlgorithm,
                                 hash);
    }

private:
    std::shared_ptr<const KeyStore> store_;
    ContainerIdentity identity_;
};

class SqliteKeyProviders : public SoftwareKeyProviders {
public:
    explicit SqliteKeyProviders(std::shared_ptr<const KeyStore> store) : store_(std::move(store)) {}

    std::vector<ProviderInfo> providers() const override { return softwareProviders(); }

    Outcome<std::unique_ptr<KeyContainer>> openContainer(const ContainerRef& ref) override {
        Outcome<ContainerIdentity> identity = identify(ref);
        if (!identity) return identity.failure();
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
        Status created = store_->database->write(
            [&](Connection& connection) { return insertContainer(connection, *identity); });
        if (!created) return created.failure();
        return opened(std::move(*identity));
    }

    Outcome<std::unique_ptr<KeyContainer>> createContainerWithKey(const ContainerRef& ref,
                                                                  KeySpec spec, std::uint32_t flags,
                                                                  ByteView pkcs8) override {
        if (!isKnownSpec(spec)) return fail(errors::kNteBadAlgId);
        Outcome<openssl::Pkey> key = rsaKeys::fromPkcs8(store_->library->context(), pkcs8);
        if (!key) return key.failure();
        Outcome<ContainerIdentity> identity = identify(ref);
        if (!identity) return identity.failure();
        Status created = store_->database->write([&](Connection& connection) -> Status {
            Status inserted = insertContainer(connection, *identity);
            if (!inserted) return inserted;
            return storeKey(connection, identity->folded, spec, flags, pkcs8);
        });
        if (!created) return created.failure();
        return opened(std::move(*identity));
    }

    Status deleteContainer(const ContainerRef& ref) override {
        Outcome<ContainerIdentity> identity = identify(ref);
        if (!identity) return identity.failure();
        return store_->database->write([&](Connection& connection) -> Status {
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
    auto store = std::make_shared<const KeyStore>(
        KeyStore{std::move(database), std::move(library), std::move(dialogs)});
    return std::make_unique<SqliteKeyProviders>(std::move(store));
}

}  // namespace pennaform::platform
