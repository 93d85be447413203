// CertificateStores: the current user's certificate stores and memory stores:
// certificates in a stable order, with the properties that bind them to keys.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// SystemStore: the current user's system stores the component uses.
enum class SystemStore {
    kMy,    // "MY", the personal store
    kRoot,  // "ROOT", trusted roots
    kCa,    // "CA", intermediate authorities
};

// AddDisposition: what add does when the store already holds a certificate
// with the same SHA-1 hash of its encoding (values as Windows numbers them).
enum class AddDisposition : std::uint32_t {
    kAlways = 4,                    // add anyway; duplicates are possible
    kReplaceInheritProperties = 5,  // replace it, keeping its other properties
};

// PropertyScope: whether a property change reaches the store's backing.
enum class PropertyScope {
    kPersist,     // kept by the store (for a system store: across processes)
    kMemoryOnly,  // only this open store object sees it
};

// CertId: names one certificate of an open store. It stays valid while the
// store object lives and the certificate is not removed; ids are never reused
// within one store object.
using CertId = std::uint64_t;

// StoredCertificate: one certificate of a store: its id and DER encoding.
struct StoredCertificate {
    CertId id = 0;
    Bytes encoded;
};

// CertProperties: the properties of a certificate that the component reads
// and sets. An absent member is a property the certificate does not carry.
// The key context is never persisted: it holds an open container.
struct CertProperties {
    std::optional<KeyProvInfo> keyProvInfo;      // CERT_KEY_PROV_INFO_PROP_ID (2)
    std::optional<KeyContext> keyContext;        // CERT_KEY_CONTEXT_PROP_ID (5)
    std::optional<std::u16string> friendlyName;  // CERT_FRIENDLY_NAME_PROP_ID (11)
};

// FoundCertificate: a certificate and its properties, read together.
struct FoundCertificate {
    StoredCertificate certificate;
    CertProperties properties;
};

// CertificateStore: an open store. The caller owns the object; closing it
// (destroying it) forgets memory-only properties and, for a memory store,
// every certificate in it. Key containers are never deleted with a store.
class CertificateStore {
public:
    virtual ~CertificateStore() = default;

    // certificates: every certificate in the store's order, which is stable
    // between calls and decides every "first match" of the component: the
    // order in which they were added, oldest first.
    virtual Outcome<std::vector<StoredCertificate>> certificates() const = 0;
    // properties: the properties `id` carries (the SHA-1 hash aside);
    // CRYPT_E_NOT_FOUND for an id that is no longer in the store.
    virtual Outcome<CertProperties> properties(CertId id) const = 0;
    // sha1Hash: the 20-byte SHA-1 hash of the certificate's encoding
    // (CERT_SHA1_HASH_PROP_ID), computed when first asked for.
    virtual Outcome<Bytes> sha1Hash(CertId id) const = 0;
    // setKeyProvInfo: binds `id` to a key container. kMemoryOnly changes
    // only what this store object reports (the component's use for one
    // export or one signature); kPersist writes it to the store's backing
    // and ends a memory-only binding. Either way a key context cached on
    // `id` is dropped, since it holds the container of the old binding.
    // kPersist fails with NTE_PERM (0x80090010) when the store may not be
    // written.
    virtual Status setKeyProvInfo(CertId id, const KeyProvInfo& info, PropertyScope scope) = 0;
    // setKeyContext: caches an open container on `id`, in memory only;
    // acquirePrivateKey then returns it.
    virtual Status setKeyContext(CertId id, const KeyContext& context) = 0;
    // setFriendlyName: sets the friendly name of `id` (persisted); NTE_PERM
    // (0x80090010) when the store may not be written.
    virtual Status setFriendlyName(CertId id, std::u16string_view name) = 0;
    // acquirePrivateKey: the private key of `id`: its key context if it has
    // one, else the container its key-provider information names, opened
    // through that provider and then cached as its key context. The caller
    // shares the container with the store. Failures: CRYPT_E_NO_KEY_PROPERTY
    // when the certificate carries neither property; the key service's error
    // (NTE_BAD_KEYSET, ...) when the container cannot be opened.
    virtual Outcome<KeyContext> acquirePrivateKey(CertId id) = 0;
    // add: adds a copy of a certificate carrying `properties` and returns its
    // id; a new certificate comes last in the store's order. With
    // kReplaceInheritProperties the first certificate of the same SHA-1 hash
    // is replaced in its place (keeping its id) and the copy takes over those
    // of its properties that `properties` does not set. The key context is
    // kept by this store object only, never persisted. Failures: CRYPT_E_ASN1_* or
    // CRYPT_E_BAD_ENCODE when `der` is not a certificate; NTE_PERM
    // (0x80090010) when the store may not be written (a system store in a
    // read-only home).
    virtual Outcome<CertId> add(ByteView der, const CertProperties& properties,
                                AddDisposition disposition) = 0;
    // remove: deletes `id` from the store (its key container stays);
    // CRYPT_E_NOT_FOUND when it is not there any more; NTE_PERM (0x80090010)
    // when the store may not be written.
    virtual Status remove(CertId id) = 0;
    // findBySha1: the first certificate, in the store's order, whose encoding
    // has the 20-byte SHA-1 hash `sha1` (CertFindCertificateInStore with
    // CERT_FIND_SHA1_HASH); CRYPT_E_NOT_FOUND when none has, a hash of
    // another length included. A backend with an index of the hashes
    // overrides this walk over certificates() and sha1Hash().
    virtual Outcome<StoredCertificate> findBySha1(ByteView sha1) const {
        Outcome<std::vector<StoredCertificate>> all = certificates();
        if (!all) return all.failure();
        for (StoredCertificate& candidate : *all) {
            Outcome<Bytes> hash = sha1Hash(candidate.id);
            if (!hash) return hash.failure();
            if (std::equal(hash->begin(), hash->end(), sha1.begin(), sha1.end())) {
                return std::move(candidate);
            }
        }
        return fail(errors::kCryptENotFound);
    }
    // findBySha1WithProperties: findBySha1 and the properties of the
    // certificate found, as properties() gives them. A backend that can read
    // both at once overrides this (a signature starts with it).
    virtual Outcome<FoundCertificate> findBySha1WithProperties(ByteView sha1) const {
        Outcome<StoredCertificate> found = findBySha1(sha1);
        if (!found) return found.failure();
        Outcome<CertProperties> read = properties(found->id);
        if (!read) return read.failure();
        return FoundCertificate{std::move(*found), std::move(*read)};
    }
};

// CertificateStores: opens stores.
class CertificateStores {
public:
    virtual ~CertificateStores() = default;

    // openSystemStore: opens one of the current user's system stores,
    // creating it empty when it does not exist yet; the caller owns the
    // result. Fails with the backing's error (ERROR_ACCESS_DENIED, ...).
    virtual Outcome<std::unique_ptr<CertificateStore>> openSystemStore(SystemStore which) = 0;
    // openMemoryStore: a new, empty store that lives only as long as the
    // returned object; the caller owns it.
    virtual Outcome<std::unique_ptr<CertificateStore>> openMemoryStore() = 0;
    // changeTogether: runs `changes`; what it changes in the user's system
    // stores and persisted key containers is kept all together or not at
    // all: when `changes` fails, or the process dies before changeTogether
    // returns, none of it stays. Other processes see the changes only once
    // they are kept. Returns what `changes` returns, or the backing's error
    // when the changes cannot begin or be kept (NTE_PERM for a home that
    // may not be written).
    virtual Status changeTogether(const std::function<Status()>& changes) = 0;
};

}  // namespace pennaform::platform
