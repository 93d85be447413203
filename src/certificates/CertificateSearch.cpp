#include "certificates/CertificateSearch.h"

#include <string>

#include "certificates/CertWrapper.h"
#include "certificates/CertificateFilter.h"
#include "certificates/CriteriaMatch.h"
#include "encoding/ErrorTable.h"

namespace pennaform::signing {

namespace {

using platform::StoredCertificate;

enum class Verdict { kAccepted, kSkipped, kWrongKeyUsage, kExpired, kNotYetValid };

// Screen: the checks one request applies to each candidate, in order:
// authority, key usage, filter, validity.
class Screen {
public:
    Screen(const SearchRequest& request, const CodePage& codePage)
        : request_(request),
          codePage_(codePage),
          filter_(CertificateFilter::parse(request.filter, codePage)) {}

    // verdict: what becomes of `candidate`; `certificate` is left loaded with
    // it for the caller to read its dates.
    Verdict verdict(const StoredCertificate& candidate, CertWrapper& certificate) const {
        // The store only holds certificates that parse; one that no longer
        // does cannot be offered.
        if (!certificate.loadEncoded(candidate.encoded)) return Verdict::kSkipped;
        if (certificate.isAuthority()) return Verdict::kSkipped;
        if (request_.keyUsage > 0 &&
            (certificate.keyUsage() & request_.keyUsage) != request_.keyUsage) {
            return Verdict::kWrongKeyUsage;
        }
        if (!passesFilter(certificate)) return Verdict::kSkipped;
        if (request_.flags & searchFlags::kCheckValidity) {
            // Without a clock to compare with, validity cannot be shown.
            const int validity = certificate.timeValidity(request_.compareTime).value_or(1);
            if (validity > 0) return Verdict::kExpired;
            if (validity < 0) return Verdict::kNotYetValid;
        }
        return Verdict::kAccepted;
    }

private:
    bool passesFilter(const CertWrapper& certificate) const {
        if (filter_.alternatives.empty()) return true;
        const std::vector<std::string> subject = subjectItems(certificate);
        const std::vector<std::string> issuer = splitItems(certificate.issuerName());
        for (const FilterAlternative& alternative : filter_.alternatives) {
            if (matches(alternative.subjectCriteria, subject, NameSide::kSubject) &&
                matches(alternative.issuerCriteria, issuer, NameSide::kIssuer)) {
                return true;
            }
        }
        return false;
    }

    bool matches(const std::vector<std::string>& criteria, const std::vector<std::string>& fields,
                 NameSide side) const {
        if (request_.flags & searchFlags::kItemMode) {
            return matchesItemMode(criteria, fields, codePage_);
        }
        return matchesNameDriven(criteria, fields, side, codePage_);
    }

    // subjectItems: the subject name's items and the serial as "SN=" item;
    // nothing for an empty name.
    static std::vector<std::string> subjectItems(const CertWrapper& certificate) {
        std::vector<std::string> items = splitItems(certificate.subjectName());
        if (!items.empty()) items.push_back("SN=" + certificate.serialHex());
        return items;
    }

    const SearchRequest& request_;
    const CodePage& codePage_;
    CertificateFilter filter_;
};

std::int32_t rejectionCode(Verdict verdict) {
    switch (verdict) {
        case Verdict::kWrongKeyUsage:
            return codes::kWrongKeyUsage;
        case Verdict::kExpired:
            return codes::kCertificateExpired;
        case Verdict::kNotYetValid:
            return codes::kCertificateNotYetValid;
        case Verdict::kAccepted:
        case Verdict::kSkipped:
            break;
    }
    return codes::kSuccess;
}

// BestDates: the validity bounds of the best match so far and the rule the
// flags choose. The bounds are compared as instants: their local-time texts
// would put a certificate valid to 9999-12-31 in the year 10000 east of UTC,
// where "10000/..." sorts before "2030/...".
class BestDates {
public:
    explicit BestDates(std::int32_t flags) : flags_(flags) {}

    // offer: whether `certificate` is better than the best so far; if so its
    // bounds become the best.
    bool offer(const CertWrapper& certificate) {
        const platform::FileTime notBefore =
            certificate.notBeforeTime().value_or(platform::FileTime{});
        const platform::FileTime notAfter =
            certificate.notAfterTime().value_or(platform::FileTime{});
        const bool better = !held_ || isBetter(notBefore, notAfter);
        if (better) {
            held_ = true;
            notBefore_ = notBefore;
            notAfter_ = notAfter;
        }
        return better;
    }

private:
    bool isBetter(platform::FileTime notBefore, platform::FileTime notAfter) const {
        if (flags_ & searchFlags::kEarliestNotBefore) return notBefore < notBefore_;
        if (flags_ & searchFlags::kLatestNotAfter) return notAfter > notAfter_;
        if (flags_ & searchFlags::kEarliestNotAfter) return notAfter < notAfter_;
        return notBefore > notBefore_;
    }

    std::int32_t flags_;
    bool held_ = false;
    platform::FileTime notBefore_, notAfter_;
};

}  // namespace

CertificateSearch::CertificateSearch(const platform::Platform& platform,
                                     platform::CertificateStore* store, const CodePage& codePage)
    : platform_(platform), store_(store), codePage_(codePage) {}

std::optional<std::vector<StoredCertificate>> CertificateSearch::candidates(
    std::vector<StoredCertificate>* matches) {
    lastError_ = platform::errors::kSuccess;
    storeUnreadable_ = false;
    if (store_ == nullptr || matches == nullptr) return std::nullopt;
    matches->clear();
    platform::Outcome<std::vector<StoredCertificate>> all = store_->certificates();
    if (!all) {
        lastError_ = all.error();
        storeUnreadable_ = true;
        return std::nullopt;
    }
    return std::move(*all);
}

std::int32_t CertificateSearch::findFirstMatch(std::vector<StoredCertificate>* matches,
                                               const SearchRequest& request) {
    std::optional<std::vector<StoredCertificate>> all = candidates(matches);
    if (!all) return codes::kCertificateNotFound;

    const Screen screen(request, codePage_);
    CertWrapper certificate(platform_);
    std::int32_t lastRejection = codes::kSuccess;
    for (StoredCertificate& candidate : *all) {
        const Verdict verdict = screen.verdict(candidate, certificate);
        if (verdict == Verdict::kAccepted) {
            matches->push_back(std::move(candidate));
            return codes::kSuccess;
        }
        if (const std::int32_t code = rejectionCode(verdict)) lastRejection = code;
    }
    return lastRejection != codes::kSuccess ? lastRejection : codes::kCertificateNotFound;
}

std::int32_t CertificateSearch::findMatches(std::vector<StoredCertificate>* matches,
                                            const SearchRequest& request) {
    std::optional<std::vector<StoredCertificate>> all = candidates(matches);
    if (!all) return codes::kCertificateNotFound;

    const Screen screen(request, codePage_);
    const bool bestOnly = (request.flags & searchFlags::kSelectionMask) == searchFlags::kBestOnly;
    BestDates best(request.flags);
    CertWrapper certificate(platform_);
    std::int32_t result = codes::kSuccess;
    for (StoredCertificate& candidate : *all) {
        const Verdict verdict = screen.verdict(candidate, certificate);
        if (verdict != Verdict::kAccepted) {
            // Rejections count only until something has been accepted.
            if (matches->empty() && rejectionCode(verdict) != codes::kSuccess) {
                result = rejectionCode(verdict);
            }
            continue;
        }
        const bool better = best.offer(certificate);
        if (!bestOnly || better) {
            if (bestOnly) matches->clear();
            matches->push_back(std::move(candidate));
            result = codes::kSuccess;
        }
    }
    if (result == codes::kSuccess && matches->empty()) {
        lastError_ = platform::errors::kCryptENotFound;
        return codes::kCertificateNotFound;
    }
    return result;
}

}  // namespace pennaform::signing
