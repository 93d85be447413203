// Fuzz target: arbitrary bytes as a filter string, parsed in both code pages
// and compared in both modes with a fixed certificate name and with names
// cut from the input itself. Checks what holds for any text: items are
// trimmed and never empty, alternatives are no more than the separators
// allow, and the comparisons decide without crashing or looping.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "certificates/CertificateFilter.h"
#include "certificates/CriteriaMatch.h"

using namespace pennaform;
using namespace pennaform::signing;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool isWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

void checkItems(const std::vector<std::string>& items) {
    for (const std::string& item : items) {
        require(!item.empty());
        require(!isWhiteSpace(item.front()) && !isWhiteSpace(item.back()));
    }
}

const std::vector<std::string> kSubject{"C=TW",    "O=Example Bank, Taipei", "OU=Retail + CN=Li",
                                        "CN=Wang", "E=wang@example.com",     "SN=0A1B"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> nameItems = splitItems(text);
    checkItems(nameItems);
    for (int number : {CodePage::kUtf8, CodePage::kBig5}) {
        const CodePage codePage(number);
        const CertificateFilter filter = CertificateFilter::parse(text, codePage);
        require(filter.alternatives.size() <= size / 2 + 1);
        for (const FilterAlternative& alternative : filter.alternatives) {
            for (const auto* criteria :
                 {&alternative.subjectCriteria, &alternative.issuerCriteria}) {
                for (const auto* fields : {&kSubject, &nameItems}) {
                    matchesNameDriven(*criteria, *fields, NameSide::kSubject, codePage);
                    matchesNameDriven(*criteria, *fields, NameSide::kIssuer, codePage);
                    matchesItemMode(*criteria, *fields, codePage);
                }
            }
        }
    }
    return 0;
}
