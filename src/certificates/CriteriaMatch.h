// The two ways a filter's criteria are compared with the items of a
// certificate's name: name-driven (every country, organisation, unit and
// common name of the certificate must be named by the filter) and item mode
// (every criterion must be met by some item of the name).
#pragma once

#include <string>
#include <vector>

#include "platform/CodePage.h"

namespace pennaform::signing {

// NameSide: which name the items come from. The subject's common name is
// matched by containment in name-driven mode, the issuer's exactly.
enum class NameSide { kSubject, kIssuer };

// matchesNameDriven: each C=, O=, OU= and CN= item of `fields` must equal a
// criterion (a subject CN= item: contain the value of a CN= criterion);
// other items are passed over. True for no criteria; false for criteria
// against an empty name, or when no item of those kinds is present.
bool matchesNameDriven(const std::vector<std::string>& criteria,
                       const std::vector<std::string>& fields, NameSide side,
                       const CodePage& codePage);

// matchesItemMode: each C=, O=, OU=, CN= and SN= criterion must be met by
// some item of `fields`: C= exactly; O= and OU= exactly, or with '%' by
// containment of the value without its '%'s; CN= always by containment;
// SN= without regard to letter case. Criteria of other kinds are passed
// over. True for no criteria; false for criteria against an empty name, or
// when no criterion of those kinds is present.
bool matchesItemMode(const std::vector<std::string>& criteria,
                     const std::vector<std::string>& fields, const CodePage& codePage);

}  // namespace pennaform::signing
