// Certificate stores. A system store is the rows of store_certificates with
// its name, read afresh at every call so that what another process added is
// seen; the properties it persists are columns of the row. What a store keeps
// in memory only (key contexts, memory-only key bindings) lives in the store
// object and is gone with it. Memory stores are the portable MemoryStore,
// reading certificates with OpenSSL.
#include "platform/posix/CertificateStores_sqlite.h"

#include <openssl/err.h>

#include <climits>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "platform/CodePage.h"
#include "platform/MemoryStore.h"
#include "platform/Utf16Le.h"
#include "platform/posix/PreparedReads.h"

namespace pennaform::platform {
namespace {

constexpr std::size_t kSha1Length = 20;

// checkedSha1: the SHA-1 hash of `der` once it has been read as one whole
// X.509 certificate, here or lately by the certificate reader of `library`;
// the ASN.1 errors otherwise.
Outcome<Bytes> checkedSha1(const OpenSslLibrary& library, ByteView der) {
    if (std::optional<CertificateInfo> known = library.recentCertificates().find(der)) {
        return std::move(known->thumbprint);
    }
    const openssl::ErrorQueueScope errorQueue;
    if (der.empty()) return fail(errors::kCryptEAsn1Eod);
    if (der.size() > std::size_t(LONG_MAX)) return fail(errors::kCryptEAsn1Corrupt);
    openssl::X509Cert certificate(X509_new_ex(library.context(), nullptr));
    if (!certificate) return fail(errors::kErrorOutOfMemory);
    X509* into = certificate.get();
    const unsigned char* cursor = der.data();
    if (d2i_X509(&into, &cursor, long(der.size())) == nullptr) {
        certificate.release();  // d2i_X509 freed it on failure
        return fail(der[0] == 0x30 ? errors::kCryptEAsn1Corrupt : errors::kCryptEAsn1BadTag);
    }
    if (cursor != der.data() + der.size()) return fail(errors::kCryptEAsn1Corrupt);
    Bytes hash(kSha1Length);
    std::size_t length = 0;
    if (EVP_Q_digest(library.context(), "SHA1", nullptr, der.data(), der.size(), hash.data(),
                     &length) != 1 ||
        length != kSha1Length) {
        return fail(errors::kNteFail);
    }
    return hash;
}

// MemoryOverlay: what one store object keeps of a certificate beside what
// the store holds.
struct MemoryOverlay {
    std::optional<KeyProvInfo> keyProvInfo;
    std::optional<KeyContext> keyContext;
};

// overlaid: `stored` as this store object sees it.
CertProperties overlaid(CertProperties stored, const MemoryOverlay* overlay) {
    if (overlay != nullptr) {
        if (overlay->keyProvInfo) stored.keyProvInfo = overlay->keyProvInfo;
        if (overlay->keyContext) stored.keyContext = overlay->keyContext;
    }
    return stored;
}

// --- The system stores ---

constexpr const char* kPropertyColumns =
    "kpi_container, kpi_provider, kpi_provider_type, kpi_flags, kpi_key_spec, friendly_name";

// persistedProperties: the property columns of the current row of a query
// whose columns from `first` on are kPropertyColumns.
CertProperties persistedProperties(const Statement& row, int first) {
    CertProperties properties;
    if (!row.columnIsNull(first + 2)) {
        properties.keyProvInfo = KeyProvInfo{
            utf16LeUnits(row.columnBlob(first)), utf16LeUnits(row.columnBlob(first + 1)),
            std::uint32_t(row.columnInt64(first + 2)), std::uint32_t(row.columnInt64(first + 3)),
            KeySpec(std::uint32_t(row.columnInt64(first + 4)))};
    }
    if (!row.columnIsNull(first + 5))
        properties.friendlyName = utf16LeUnits(row.columnBlob(first + 5));
    return properties;
}

// bindProperties: binds the persisted properties to parameters `first` to
// `first + 5`, NULL for an absent one.
Statement& bindProperties(Statement& statement, int first, const CertProperties& properties) {
    if (properties.keyProvInfo) {
        const KeyProvInfo& info = *properties.keyProvInfo;
        statement.bindBlob(first, utf16LeBytes(info.containerName))
            .bindBlob(first + 1, utf16LeBytes(info.providerName))
            .bindInt64(first + 2, info.providerType)
            .bindInt64(first + 3, info.flags)
            .bindInt64(first + 4, std::int64_t(info.keySpec));
    }
    if (properties.friendlyName)
        statement.bindBlob(first + 5, utf16LeBytes(*properties.friendlyName));
    return statement;  // parameters left unbound are NULL
}

class SqliteSystemStore : public CertificateStore {
public:
    SqliteSystemStore(std::shared_ptr<StateDatabase> database,
                      std::shared_ptr<OpenSslLibrary> library, KeyProviders& keys, std::string name)
        : database_(std::move(database)),
          library_(std::move(library)),
          keys_(keys),
          name_(std::move(name)) {}

    Outcome<std::vector<StoredCertificate>> certificates() const override {
        std::vector<StoredCertificate> all;
        Outcome<Connection*> reader = database_->reader();
        if (!reader) {
            if (noDatabaseYet(reader.error())) return all;
            return reader.failure();
        }
        Outcome<Statement> query = (*reader)->prepare(
            "SELECT id, encoded FROM store_certificates WHERE store = ?1 ORDER BY id");
        if (!query) return query.failure();
        query->bindText(1, name_);
        for (;;) {
            Outcome<bool> row = query->step();
            if (!row) return row.failure();
            if (!*row) return all;
            all.push_back({CertId(query->columnInt64(0)), query->columnBlob(1)});
        }
    }

    Outcome<CertProperties> properties(CertId id) const override {
        Outcome<CertProperties> stored = storedProperties(id);
        if (!stored) return stored;
        auto overlay = overlays_.find(id);
        return overlaid(std::move(*stored),
                        overlay == overlays_.end() ? nullptr : &overlay->second);
    }

    Outcome<Bytes> sha1Hash(CertId id) const override {
        Outcome<PreparedReads::Lease> query = selectRow("sha1", id);
        if (!query) return query.failure();
        return (*query)->columnBlob(0);
    }

    // findBySha1: through the store's index of the hashes.
    Outcome<StoredCertificate> findBySha1(ByteView sha1) const override {
        Outcome<PreparedReads::Lease> row = firstRowBySha1(sha1, "");
        if (!row) return row.failure();
        return StoredCertificate{CertId((*row)->columnInt64(0)), (*row)->columnBlob(1)};
    }

    // findBySha1WithProperties: one query for the certificate and the
    // properties of its row, this object's memory-only ones laid over them.
    Outcome<FoundCertificate> findBySha1WithProperties(ByteView sha1) const override {
        Outcome<PreparedReads::Lease> row =
            firstRowBySha1(sha1, std::string(", ") + kPropertyColumns);
        if (!row) return row.failure();
        Statement& statement = **row;
        const CertId id = CertId(statement.columnInt64(0));
        auto overlay = overlays_.find(id);
        return FoundCertificate{{id, statement.columnBlob(1)},
                                overlaid(persistedProperties(statement, 2),
                                         overlay == overlays_.end() ? nullptr : &overlay->second)};
    }

    Status setKeyProvInfo(CertId id, const KeyProvInfo& info, PropertyScope scope) override {
        if (scope == PropertyScope::kMemoryOnly) {
            Outcome<PreparedReads::Lease> exists = selectRow("id", id);
            if (!exists) return exists.failure();
            overlays_[id] = MemoryOverlay{info, std::nullopt};
            return Status::success();
        }
        CertProperties binding;
        binding.keyProvInfo = info;
        Status updated = updateRow(
            "UPDATE store_certificates SET kpi_container = ?1, kpi_provider = ?2, "
            "kpi_provider_type = ?3, kpi_flags = ?4, kpi_key_spec = ?5 "
            "WHERE id = ?7 AND store = ?8",
            id, binding);
        if (updated) overlays_.erase(id);
        return updated;
    }

    Status setKeyContext(CertId id, const KeyContext& context) override {
        Outcome<PreparedReads::Lease> exists = selectRow("id", id);
        if (!exists) return exists.failure();
        overlays_[id].keyContext = context;
        return Status::success();
    }

    Status setFriendlyName(CertId id, std::u16string_view name) override {
        CertProperties named;
        named.friendlyName = std::u16string(name);
        return updateRow(
            "UPDATE store_certificates SET friendly_name = ?6 "
            "WHERE id = ?7 AND store = ?8",
            id, named);
    }

    Outcome<KeyContext> acquirePrivateKey(CertId id) override {
        Outcome<CertProperties> current = properties(id);
        if (!current) return current.failure();
        Outcome<KeyContext> key = openBoundKey(keys_, *current);
        if (key) overlays_[id].keyContext = *key;
        return key;
    }

    Outcome<CertId> add(ByteView der, const CertProperties& properties,
                        AddDisposition disposition) override;

    Status remove(CertId id) override {
        Status removed = write([&](Connection& connection) -> Status {
            Outcome<Statement> remove =
                connection.prepare("DELETE FROM store_certificates WHERE id = ?1 AND store = ?2");
            if (!remove) return remove.failure();
            remove->bindInt64(1, std::int64_t(id)).bindText(2, name_);
            Status done = remove->execute();
            if (!done) return done;
            return connection.changes() == 0 ? fail(errors::kCryptENotFound) : Status::success();
        });
        if (removed) overlays_.erase(id);
        return removed;
    }

private:
    static bool noDatabaseYet(PlatformError error) { return error == errors::kErrorFileNotFound; }

    // write: a change to the store's rows; NTE_PERM when the database may
    // not be written, the number the store's callers read for a store they
    // may not change.
    Status write(const std::function<Status(Connection&)>& change) const {
        return deniedAs(database_->write(change), errors::kNtePerm);
    }

    // firstRowBySha1: the statement on the first row of this store whose
    // hash is `sha1`, with the columns id, encoded and then `moreColumns`;
    // CRYPT_E_NOT_FOUND without one, or without a database yet.
    Outcome<PreparedReads::Lease> firstRowBySha1(ByteView sha1,
                                                 const std::string& moreColumns) const {
        Outcome<Connection*> reader = database_->reader();
        if (!reader) {
            return noDatabaseYet(reader.error()) ? fail(errors::kCryptENotFound) : reader.failure();
        }
        Outcome<PreparedReads::Lease> query = reads_.statement(
            **reader, "SELECT id, encoded" + moreColumns +
                          " FROM store_certificates WHERE store = ?1 AND sha1 = ?2 "
                          "ORDER BY id LIMIT 1");
        if (!query) return query;
        (*query)->bindText(1, name_).bindBlob(2, sha1);
        Outcome<bool> row = (*query)->step();
        if (!row) return row.failure();
        if (!*row) return fail(errors::kCryptENotFound);
        return query;
    }

    // selectRow: the query for `columns` of certificate `id`, on its row.
    Outcome<PreparedReads::Lease> selectRow(const std::string& columns, CertId id) const {
        Outcome<Connection*> reader = database_->reader();
        if (!reader) {
            return noDatabaseYet(reader.error()) ? fail(errors::kCryptENotFound) : reader.failure();
        }
        Outcome<PreparedReads::Lease> query =
            reads_.statement(**reader, "SELECT " + columns +
                                           " FROM store_certificates WHERE id = ?1 AND store = ?2");
        if (!query) return query.failure();
        (*query)->bindInt64(1, std::int64_t(id)).bindText(2, name_);
        Outcome<bool> row = (*query)->step();
        if (!row) return row.failure();
        if (!*row) return fail(errors::kCryptENotFound);
        return query;
    }

    Outcome<CertProperties> storedProperties(CertId id) const {
        Outcome<PreparedReads::Lease> query = selectRow(kPropertyColumns, id);
        if (!query) return query.failure();
        return persistedProperties(**query, 0);
    }

    // updateRow: runs `sql`, whose parameters 1 to 6 are the property columns
    // (see bindProperties), 7 the id and 8 the store, on one certificate.
    Status updateRow(const char* sql, CertId id, const CertProperties& properties) {
        return write([&](Connection& connection) -> Status {
            Outcome<Statement> update = connection.prepare(sql);
            if (!update) return update.failure();
            bindProperties(*update, 1, properties)
                .bindInt64(7, std::int64_t(id))
                .bindText(8, name_);
            Status done = update->execute();
            if (!done) return done;
            return connection.changes() == 0 ? fail(errors::kCryptENotFound) : Status::success();
        });
    }

    Outcome<CertId> replaceExisting(Connection& connection, ByteView der, const Bytes& sha1,
                                    const CertProperties& properties);
    Outcome<CertId> insertNew(Connection& connection, ByteView der, const Bytes& sha1,
                              const CertProperties& properties);

    std::shared_ptr<StateDatabase> database_;
    std::shared_ptr<OpenSslLibrary> library_;
    KeyProviders& keys_;
    std::string name_;
    mutable PreparedReads reads_;  // after database_: destroyed before it
    std::map<CertId, MemoryOverlay> overlays_;
};

Outcome<CertId> SqliteSystemStore::add(ByteView der, const CertProperties& properties,
                                       AddDisposition disposition) {
    Outcome<Bytes> sha1 = checkedSha1(*library_, der);
    if (!sha1) return sha1.failure();
    std::optional<CertId> added;
    Status written = write([&](Connection& connection) -> Status {
        Outcome<CertId> id = disposition == AddDisposition::kReplaceInheritProperties
                                 ? replaceExisting(connection, der, *sha1, properties)
                                 : Outcome<CertId>(fail(errors::kCryptENotFound));
        if (!id && id.error() == errors::kCryptENotFound) {
            id = insertNew(connection, der, *sha1, properties);
        }
        if (!id) return id.failure();
        added = *id;
        return Status::success();
    });
    if (!written) return written.failure();
    MemoryOverlay& overlay = overlays_[*added];
    if (properties.keyProvInfo) overlay = MemoryOverlay{};  // the new binding replaces them
    if (properties.keyContext) overlay.keyContext = properties.keyContext;
    return *added;
}

// replaceExisting: rewrites the first certificate of the same hash in place;
// CRYPT_E_NOT_FOUND when there is none.
Outcome<CertId> SqliteSystemStore::replaceExisting(Connection& connection, ByteView der,
                                                   const Bytes& sha1,
                                                   const CertProperties& properties) {
    Outcome<Statement> query = connection.prepare(
        std::string("SELECT id, ") + kPropertyColumns +
        " FROM store_certificates WHERE store = ?1 AND sha1 = ?2 ORDER BY id LIMIT 1");
    if (!query) return query.failure();
    query->bindText(1, name_).bindBlob(2, sha1);
    Outcome<bool> row = query->step();
    if (!row) return row.failure();
    if (!*row) return fail(errors::kCryptENotFound);
    CertId id = CertId(query->columnInt64(0));
    CertProperties merged = inheritProperties(properties, persistedProperties(*query, 1));
    Outcome<Statement> update = connection.prepare(
        "UPDATE store_certificates SET kpi_container = ?1, kpi_provider = ?2, "
        "kpi_provider_type = ?3, kpi_flags = ?4, kpi_key_spec = ?5, friendly_name = ?6, "
        "encoded = ?9 WHERE id = ?7 AND store = ?8");
    if (!update) return update.failure();
    bindProperties(*update, 1, merged)
        .bindInt64(7, std::int64_t(id))
        .bindText(8, name_)
        .bindBlob(9, der);
    Status done = update->execute();
    if (!done) return done.failure();
    return id;
}

Outcome<CertId> SqliteSystemStore::insertNew(Connection& connection, ByteView der,
                                             const Bytes& sha1, const CertProperties& properties) {
    Outcome<Statement> insert = connection.prepare(
        std::string("INSERT INTO store_certificates (") + kPropertyColumns +
        ", store, sha1, encoded) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) RETURNING id");
    if (!insert) return insert.failure();
    bindProperties(*insert, 1, properties).bindText(7, name_).bindBlob(8, sha1).bindBlob(9, der);
    Outcome<bool> row = insert->step();
    if (!row) return row.failure();
    if (!*row) return fail(errors::kErrorIoDevice);
    CertId id = CertId(insert->columnInt64(0));
    Status finished = insert->execute();  // runs the statement to its end
    if (!finished) return finished.failure();
    return id;
}

class SqliteCertificateStores : public CertificateStores {
public:
    SqliteCertificateStores(std::shared_ptr<StateDatabase> database,
                            std::shared_ptr<OpenSslLibrary> library, KeyProviders& keys)
        : database_(std::move(database)), library_(std::move(library)), keys_(keys) {}

    Outcome<std::unique_ptr<CertificateStore>> openSystemStore(SystemStore which) override {
        const char* name = which == SystemStore::kMy     ? "MY"
                           : which == SystemStore::kRoot ? "ROOT"
                                                         : "CA";
        return std::unique_ptr<CertificateStore>(
            new SqliteSystemStore(database_, library_, keys_, name));
    }

    Outcome<std::unique_ptr<CertificateStore>> openMemoryStore() override {
        std::shared_ptr<OpenSslLibrary> library = library_;
        return makeMemoryStore([library](ByteView der) { return checkedSha1(*library, der); },
                               keys_);
    }

    // The key containers live in the same database, so one transaction of
    // it holds both.
    Status changeTogether(const std::function<Status()>& changes) override {
        return deniedAs(database_->write([&](Connection&) { return changes(); }), errors::kNtePerm);
    }

private:
    std::shared_ptr<StateDatabase> database_;
    std::shared_ptr<OpenSslLibrary> library_;
    KeyProviders& keys_;
};

}  // namespace

std::unique_ptr<CertificateStores> makeSqliteCertificateStores(
    std::shared_ptr<StateDatabase> database, std::shared_ptr<OpenSslLibrary> library,
    KeyProviders& keys) {
    return std::make_unique<SqliteCertificateStores>(std::move(database), std::move(library), keys);
}

}  // namespace pennaform::platform
