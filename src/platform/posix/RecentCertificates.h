// RecentCertificates: the fields of the last few certificates read in one
// OpenSSL library context, by their exact bytes.
#pragma once

#include <algorithm>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/CertificateReader.h"

namespace pennaform::platform {

// One operation reads the same certificate several times (a search, its
// name, its copy into a store), and the public-key decoding that d2i_X509
// does each time, and that cannot be skipped, costs far more than the rest
// of a reading. The fields depend on the bytes alone, so an entry never
// goes stale. Locked: the context is shared by the backend's services.
class RecentCertificates {
public:
    // find: the fields kept for exactly `der`, if they are still held.
    std::optional<CertificateInfo> find(ByteView der) const {
        const std::lock_guard<std::mutex> hold(lock_);
        for (const Entry& entry : entries_) {
            if (std::ranges::equal(entry.encoded, der)) return entry.info;
        }
        return std::nullopt;
    }

    // keep: `info` as read from `der`, which OpenSSL accepted whole; the
    // oldest entry gives way.
    void keep(ByteView der, const CertificateInfo& info) {
        const std::lock_guard<std::mutex> hold(lock_);
        if (entries_.size() == kHeld) entries_.pop_front();
        entries_.push_back({Bytes(der.begin(), der.end()), info});
    }

    static constexpr std::size_t kHeld = 8;

private:
    struct Entry {
        Bytes encoded;
        CertificateInfo info;
    };
    mutable std::mutex lock_;
    std::deque<Entry> entries_;  // oldest first
};

}  // namespace pennaform::platform
