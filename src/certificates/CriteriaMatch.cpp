#include "certificates/CriteriaMatch.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "certificates/MultibyteText.h"

namespace pennaform::signing {

namespace {

constexpr std::string_view kCountry = "C=";
constexpr std::string_view kOrganisation = "O=";
constexpr std::string_view kUnit = "OU=";
constexpr std::string_view kCommonName = "CN=";
constexpr std::string_view kSerial = "SN=";

bool anyEqual(const std::vector<std::string>& texts, std::string_view wanted) {
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string& text) { return text == wanted; });
}

// valueContains: whether `field` holds `key` and, after it, `value`. The
// value is looked for only after the key, so that it can never be met by
// the key's own letters (the value "N" in "CN=Wang").
bool valueContains(std::string_view field, std::string_view key, std::string_view value,
                   const CodePage& codePage) {
    const std::size_t keyAt = findText(field, key, 0, codePage);
    return keyAt != std::string_view::npos &&
           findText(field, value, keyAt + key.size(), codePage) != std::string_view::npos;
}

// commonNameContains: a common name is met by any non-empty part of it.
bool commonNameContains(std::string_view field, std::string_view value, const CodePage& codePage) {
    return !value.empty() && valueContains(field, kCommonName, value, codePage);
}

std::string withoutPercent(std::string_view text) {
    std::string kept(text);
    kept.erase(std::remove(kept.begin(), kept.end(), '%'), kept.end());
    return kept;
}

// nameDrivenField: whether one item of the certificate's name is named by
// the criteria; nullopt for an item of a kind the filter does not check.
std::optional<bool> nameDrivenField(const std::string& field,
                                    const std::vector<std::string>& criteria, NameSide side,
                                    const CodePage& codePage) {
    if (startsWith(field, kCountry) || startsWith(field, kOrganisation) ||
        startsWith(field, kUnit)) {
        return anyEqual(criteria, field);
    }
    if (!startsWith(field, kCommonName)) return std::nullopt;
    if (side == NameSide::kIssuer) return anyEqual(criteria, field);
    return std::any_of(criteria.begin(), criteria.end(), [&](const std::string& criterion) {
        return startsWith(criterion, kCommonName) &&
               commonNameContains(field, std::string_view(criterion).substr(kCommonName.size()),
                                  codePage);
    });
}

// itemModeCriterion: whether some item of the name meets one criterion;
// nullopt for a criterion of a kind that is not compared.
std::optional<bool> itemModeCriterion(const std::string& criterion,
                                      const std::vector<std::string>& fields,
                                      const CodePage& codePage) {
    auto anyField = [&](auto&& meets) { return std::any_of(fields.begin(), fields.end(), meets); };
    if (startsWith(criterion, kCountry)) return anyEqual(fields, criterion);
    for (std::string_view key : {kOrganisation, kUnit}) {
        if (!startsWith(criterion, key)) continue;
        if (criterion.find('%') == std::string::npos) return anyEqual(fields, criterion);
        const std::string value = withoutPercent(std::string_view(criterion).substr(key.size()));
        return anyField(
            [&](const std::string& field) { return valueContains(field, key, value, codePage); });
    }
    if (startsWith(criterion, kCommonName)) {
        const std::string value =
            withoutPercent(std::string_view(criterion).substr(kCommonName.size()));
        return anyField(
            [&](const std::string& field) { return commonNameContains(field, value, codePage); });
    }
    if (startsWith(criterion, kSerial)) {
        return anyField([&](const std::string& field) {
            return findText(field, kSerial, 0, codePage) != std::string_view::npos &&
                   equalsIgnoringCase(field, criterion, codePage);
        });
    }
    return std::nullopt;
}

}  // namespace

bool matchesNameDriven(const std::vector<std::string>& criteria,
                       const std::vector<std::string>& fields, NameSide side,
                       const CodePage& codePage) {
    if (criteria.empty()) return true;
    bool matched = false;
    for (const std::string& field : fields) {
        const std::optional<bool> named = nameDrivenField(field, criteria, side, codePage);
        if (!named) continue;
        if (!*named) return false;
        matched = true;
    }
    return matched;
}

bool matchesItemMode(const std::vector<std::string>& criteria,
                     const std::vector<std::string>& fields, const CodePage& codePage) {
    if (criteria.empty()) return true;
    bool matched = false;
    for (const std::string& criterion : criteria) {
        const std::optional<bool> met = itemModeCriterion(criterion, fields, codePage);
        if (!met) continue;
        if (!*met) return false;
        matched = true;
    }
    return matched;
}

}  // namespace pennaform::signing
