#include "certificates/CertificateFilter.h"

#include "certificates/MultibyteText.h"

namespace pennaform::signing {

namespace {

constexpr std::string_view kAlternativeSeparator = "//";
// An alternative must be longer than this to count: shorter pieces are the
// leftovers of doubled or trailing separators.
constexpr std::size_t kShortestIgnoredAlternative = 3;
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

void finishItem(std::string& item, std::vector<std::string>& items) {
    const std::string_view kept = trimmed(item);
    if (!kept.empty()) items.emplace_back(kept);
    item.clear();
}

std::string normalised(std::string_view alternative, const CodePage& codePage) {
    std::string text = replaceAll(alternative, "\\n", ",", codePage);
    text = replaceAll(text, "\r", "", codePage);
    text = replaceAll(text, "\n", ",", codePage);
    text = replaceAll(text, " =", "=", codePage);
    return replaceAll(text, "= ", "=", codePage);
}

FilterAlternative criteriaOf(std::string_view alternative, const CodePage& codePage) {
    FilterAlternative criteria;
    for (std::string& item : splitItems(normalised(alternative, codePage))) {
        if (startsWith(item, "S_")) {
            criteria.subjectCriteria.push_back(item.substr(2));
        } else if (startsWith(item, "I_")) {
            criteria.issuerCriteria.push_back(item.substr(2));
        }
    }
    return criteria;
}

}  // namespace

std::vector<std::string> splitItems(std::string_view text) {
    std::vector<std::string> items;
    std::string item;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        const std::string_view piece = text.substr(start, comma - start);
        start = comma + 1;
        if (piece.empty()) continue;
        const std::size_t equals = piece.find('=');
        if (equals != std::string_view::npos && equals > 0) {
            finishItem(item, items);
            item = piece;
        } else {
            if (!item.empty()) item += ',';
            item += piece;
        }
    }
    finishItem(item, items);
    return items;
}

CertificateFilter CertificateFilter::parse(std::string_view filter, const CodePage& codePage) {
    CertificateFilter parsed;
    if (filter.size() < kAlternativeSeparator.size()) return parsed;
    std::size_t start = 0;
    while (start <= filter.size()) {
        std::size_t separator = findText(filter, kAlternativeSeparator, start, codePage);
        if (separator == std::string_view::npos) separator = filter.size();
        const std::string_view alternative = filter.substr(start, separator - start);
        if (alternative.size() > kShortestIgnoredAlternative) {
            parsed.alternatives.push_back(criteriaOf(alternative, codePage));
        }
        start = separator + kAlternativeSeparator.size();
    }
    return parsed;
}

}  // namespace pennaform::signing
