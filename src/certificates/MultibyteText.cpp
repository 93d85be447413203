#include "certificates/MultibyteText.h"

#include "platform/AsciiCase.h"

namespace pennaform::signing {

namespace {

// characterLength: the bytes of the character that starts at `at`.
std::size_t characterLength(std::string_view text, std::size_t at, const CodePage& codePage) {
    const bool twoBytes =
        codePage.isLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size();
    return twoBytes ? 2 : 1;
}

}  // namespace

std::size_t findText(std::string_view text, std::string_view needle, std::size_t from,
                     const CodePage& codePage) {
    if (from > text.size()) return std::string_view::npos;
    std::size_t at = from;
    while (true) {
        if (text.size() - at >= needle.size() && text.compare(at, needle.size(), needle) == 0) {
            return at;
        }
        if (at == text.size()) return std::string_view::npos;
        at += characterLength(text, at, codePage);
    }
}

std::string replaceAll(std::string_view text, std::string_view target, std::string_view replacement,
                       const CodePage& codePage) {
    if (target.empty()) return std::string(text);
    std::string result;
    result.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        if (text.substr(at, target.size()) == target) {
            result += replacement;
            at += target.size();
            continue;
        }
        const std::size_t length = characterLength(text, at, codePage);
        result += text.substr(at, length);
        at += length;
    }
    return result;
}

bool equalsIgnoringCase(std::string_view left, std::string_view right, const CodePage& codePage) {
    if (left.size() != right.size()) return false;
    std::size_t at = 0;
    while (at < left.size()) {
        const std::size_t length = characterLength(left, at, codePage);
        if (length == 2) {
            if (left.substr(at, 2) != right.substr(at, 2)) return false;
        } else if (asciiLower(left[at]) != asciiLower(right[at])) {
            return false;
        }
        at += length;
    }
    return true;
}

}  // namespace pennaform::signing
