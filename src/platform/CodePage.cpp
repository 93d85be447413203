// CodePage: the portable half. Choosing the code page from the locale
// variables, and UTF-8 <-> UTF-16, need no system library; the conversions
// to and from Big5 are the backend's (posix/CodePage_iconv.cpp).
#include "platform/CodePage.h"

#include "platform/AsciiCase.h"

#include <cstdlib>

namespace pennaform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Decodes one UTF-8 sequence at text[i]; returns the code point and advances
// i, or returns nothing (advancing i by one byte) for an invalid sequence.
std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t& i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                : lead >= 0xE0 && lead <= 0xEF ? 2
                : lead >= 0xF0 && lead <= 0xF4 ? 3
                                               : 0;
    if (extra == 0 || text.size() - i <= std::size_t(extra)) {
        ++i;
        return std::nullopt;
    }
    char32_t cp = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        unsigned char c = byte(i + k);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return std::nullopt;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return std::nullopt;
    }
    i += std::size_t(extra) + 1;
    return cp;
}

}  // namespace

CodePage CodePage::fromLocaleName(std::string_view localeName) {
    std::size_t dot = localeName.find('.');
    if (dot == std::string_view::npos) return CodePage(kUtf8);
    std::string_view codeset = localeName.substr(dot + 1);
    codeset = codeset.substr(0, codeset.find('@'));
    std::string name = asciiLowered(codeset);
    return CodePage(name == "big5" || name == "cp950" ? kBig5 : kUtf8);
}

CodePage CodePage::fromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return fromLocaleName(value);
    }
    return CodePage(kUtf8);
}

const CodePage& CodePage::process() {
    static const CodePage processCodePage = fromEnvironment();
    return processCodePage;
}

std::u16string toWide(std::string_view ansi) {
    return CodePage::process().toWide(ansi);
}
std::string toAnsi(std::u16string_view wide) {
    return CodePage::process().toAnsi(wide);
}

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        std::optional<char32_t> cp = decodeUtf8(utf8, i);
        if (!cp) {
            out.push_back(kReplacement);
        } else if (*cp >= 0x10000) {
            char32_t v = *cp - 0x10000;
            out.push_back(char16_t(0xD800 + (v >> 10)));
            out.push_back(char16_t(0xDC00 + (v & 0x3FF)));
        } else {
            out.push_back(char16_t(*cp));
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (isHighSurrogate(cp) && i + 1 < utf16.size() && isLowSurrogate(utf16[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (isHighSurrogate(cp) || isLowSurrogate(cp)) {
            out.push_back('?');
            continue;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace pennaform
