// CertificateFilter: the filter string by which callers choose a
// certificate, parsed into alternatives of subject and issuer criteria, and
// the item parser that reads both filters and certificate names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"

namespace pennaform::signing {

// splitItems: `text` cut at every comma into items of the form KEY=VALUE. A
// piece whose first '=' comes after its first byte starts a new item; any
// other piece continues the item before it (joined with a comma), so values
// holding commas survive ("O=Example Bank, Taipei" stays one item). Items
// are trimmed of white space; empty ones are dropped.
std::vector<std::string> splitItems(std::string_view text);

// FilterAlternative: the criteria of one alternative, in filter order,
// without their "S_" / "I_" prefixes ("CN=Wang", "O=Example Bank", ...).
struct FilterAlternative {
    std::vector<std::string> subjectCriteria;
    std::vector<std::string> issuerCriteria;
};

// CertificateFilter: the parsed filter. No alternative means no condition.
struct CertificateFilter {
    std::vector<FilterAlternative> alternatives;

    // parse: alternatives are separated by "//" and kept only when longer
    // than 3 bytes. Each is normalised (the two characters backslash and 'n'
    // and every line feed become commas, carriage returns go, one space on
    // each side of '=' goes), split into items, and its items starting with
    // "S_" or "I_" become subject or issuer criteria; others are ignored.
    static CertificateFilter parse(std::string_view filter, const CodePage& codePage);
};

}  // namespace pennaform::signing
