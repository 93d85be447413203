// The memory store keeps its certificates in insertion order in a vector:
// the stores the component makes in memory hold a PFX file's few
// certificates or one snapshot, so a linear search is all they need.
#include "platform/MemoryStore.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/CodePage.h"

namespace pennaform::platform {
namespace {

class MemoryStore : public CertificateStore {
public:
    MemoryStore(CertificateCheck check, KeyProviders& keys)
        : check_(std::move(check)), keys_(keys) {}

    Outcome<std::vector<StoredCertificate>> certificates() const override {
        std::vector<StoredCertificate> all;
        all.reserve(entries_.size());
        for (const Entry& entry : entries_) all.push_back({entry.id, entry.encoded});
        return all;
    }

    Outcome<CertProperties> properties(CertId id) const override {
        const Entry* entry = find(id);
        if (entry == nullptr) return fail(errors::kCryptENotFound);
        return entry->properties;
    }

    Outcome<Bytes> sha1Hash(CertId id) const override {
        const Entry* entry = find(id);
        if (entry == nullptr) return fail(errors::kCryptENotFound);
        return entry->sha1;
    }

    // Everything of a memory store is in memory, so both scopes are one.
    Status setKeyProvInfo(CertId id, const KeyProvInfo& info, PropertyScope) override {
        Entry* entry = find(id);
        if (entry == nullptr) return fail(errors::kCryptENotFound);
        entry->properties.keyProvInfo = info;
        entry->properties.keyContext.reset();
        return Status::success();
    }

    Status setKeyContext(CertId id, const KeyContext& context) override {
        Entry* entry = find(id);
        if (entry == nullptr) return fail(errors::kCryptENotFound);
        entry->properties.keyContext = context;
        return Status::success();
    }

    Status setFriendlyName(CertId id, std::u16string_view name) override {
        Entry* entry = find(id);
        if (entry == nullptr) return fail(errors::kCryptENotFound);
        entry->properties.friendlyName = std::u16string(name);
        return Status::success();
    }

    Outcome<KeyContext> acquirePrivateKey(CertId id) override {
        Entry* entry = find(id);
        if (entry == nullptr) return fail(errors::kCryptENotFound);
        Outcome<KeyContext> key = openBoundKey(keys_, entry->properties);
        if (key) entry->properties.keyContext = *key;
        return key;
    }

    Outcome<CertId> add(ByteView der, const CertProperties& properties,
                        AddDisposition disposition) override {
        Outcome<Bytes> sha1 = check_(der);
        if (!sha1) return sha1.failure();
        if (disposition == AddDisposition::kReplaceInheritProperties) {
            for (Entry& entry : entries_) {
                if (entry.sha1 != *sha1) continue;
                entry.encoded.assign(der.begin(), der.end());
                entry.properties = inheritProperties(properties, entry.properties);
                return entry.id;
            }
        }
        entries_.push_back({nextId_, Bytes(der.begin(), der.end()), std::move(*sha1), properties});
        return nextId_++;
    }

    Status remove(CertId id) override {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->id != id) continue;
            entries_.erase(it);
            return Status::success();
        }
        return fail(errors::kCryptENotFound);
    }

private:
    struct Entry {
        CertId id;
        Bytes encoded;
        Bytes sha1;
        CertProperties properties;
    };

    const Entry* find(CertId id) const {
        for (const Entry& entry : entries_) {
            if (entry.id == id) return &entry;
        }
        return nullptr;
    }
    Entry* find(CertId id) { return const_cast<Entry*>(std::as_const(*this).find(id)); }

    CertificateCheck check_;
    KeyProviders& keys_;
    std::vector<Entry> entries_;
    CertId nextId_ = 1;
};

}  // namespace

std::unique_ptr<CertificateStore> makeMemoryStore(CertificateCheck check, KeyProviders& keys) {
    return std::make_unique<MemoryStore>(std::move(check), keys);
}

CertProperties inheritProperties(CertProperties fresh, const CertProperties& old) {
    if (!fresh.keyContext && !fresh.keyProvInfo) fresh.keyContext = old.keyContext;
    if (!fresh.keyProvInfo) fresh.keyProvInfo = old.keyProvInfo;
    if (!fresh.friendlyName) fresh.friendlyName = old.friendlyName;
    return fresh;
}

Outcome<KeyContext> openBoundKey(KeyProviders& keys, const CertProperties& properties) {
    if (properties.keyContext) return *properties.keyContext;
    if (!properties.keyProvInfo) return fail(errors::kCryptENoKeyProperty);
    const KeyProvInfo& info = *properties.keyProvInfo;
    Outcome<std::unique_ptr<KeyContainer>> container = keys.openContainer(
        {toAnsi(info.containerName), toAnsi(info.providerName), info.providerType});
    if (!container) return container.failure();
    return KeyContext{std::shared_ptr<KeyContainer>(std::move(*container)), info.keySpec};
}

}  // namespace pennaform::platform
