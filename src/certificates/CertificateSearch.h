// CertificateSearch: finds the certificates of an open store that a filter
// string, a required key usage and a validity check accept: the first one,
// every one, or the single best one by a validity date. Only end-entity
// certificates are ever offered.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Platform.h"

namespace pennaform::signing {

// Bits of a caller's flags that the search reads.
namespace searchFlags {
inline constexpr std::int32_t kCheckValidity = 0x04;  // reject outside the validity period
inline constexpr std::int32_t kItemMode = 0x08;       // criterion by criterion, not name-driven
inline constexpr std::int32_t kSelectionMask = 0x03;
inline constexpr std::int32_t kBestOnly = 0x02;           // findMatches keeps the best one
inline constexpr std::int32_t kEarliestNotBefore = 0x20;  // best: earliest not-before
inline constexpr std::int32_t kLatestNotAfter = 0x40;     // best: latest not-after
inline constexpr std::int32_t kEarliestNotAfter = 0x80;   // best: earliest not-after
}  // namespace searchFlags

// SearchRequest: what a caller asks for.
struct SearchRequest {
    std::string_view filter;  // in the process code page
    std::int32_t flags = 0;
    // keyUsage: the key-usage bits every match must carry; 0 or less asks
    // for none.
    std::int32_t keyUsage = 0;
    // compareTime: the instant of the validity check; nullopt is now.
    std::optional<platform::FileTime> compareTime;
};

class CertificateSearch {
public:
    // CertificateSearch: searches `store` (null: a store that is not open),
    // reading certificates through `platform`; both must outlive the search.
    CertificateSearch(const platform::Platform& platform, platform::CertificateStore* store,
                      const CodePage& codePage = CodePage::process());

    // findFirstMatch: empties `matches`, then appends the first certificate
    // accepted in the store's order and answers 0. Without one it answers the
    // last rejection by key usage (5017) or validity (5011 expired, 5012 not
    // yet valid), else 5010; 5010 at once for a null store or list, and for
    // a store that cannot be read (then storeUnreadable()).
    std::int32_t findFirstMatch(std::vector<platform::StoredCertificate>* matches,
                                const SearchRequest& request);
    // findMatches: empties `matches`, then appends every accepted certificate
    // in the store's order, or with kBestOnly the best one only (ties keep
    // the first). Without one it answers the last rejection seen (5017,
    // 5011, 5012), else 5010; 5010 at once for a null store or list, and for
    // a store that cannot be read (then storeUnreadable()).
    std::int32_t findMatches(std::vector<platform::StoredCertificate>* matches,
                             const SearchRequest& request);

    // lastError: the platform error the last search recorded: 0, the
    // store's error when it could not be read, or CRYPT_E_NOT_FOUND when
    // findMatches found nothing.
    platform::PlatformError lastError() const { return lastError_; }
    // storeUnreadable: whether the last search failed because the store's
    // certificates could not be listed (lastError() is the store's error),
    // as opposed to a store that was read and held no match: a caller that
    // reports an unreadable store with a code of its own tells them apart
    // here.
    bool storeUnreadable() const { return storeUnreadable_; }

private:
    // candidates: what both searches begin with: the error cleared, the list
    // emptied, every certificate of the store; nullopt for a null store or
    // list, or a store that cannot be read (its error kept).
    std::optional<std::vector<platform::StoredCertificate>> candidates(
        std::vector<platform::StoredCertificate>* matches);

    const platform::Platform& platform_;
    platform::CertificateStore* store_;
    CodePage codePage_;  // a copy: callers may pass a temporary
    platform::PlatformError lastError_ = platform::errors::kSuccess;
    bool storeUnreadable_ = false;
};

}  // namespace pennaform::signing
