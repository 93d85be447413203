#include "platform/CodePage.h"
#include "platform/AsciiCase.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>

namespace pennaform {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the UTF-16LE buffers handed to iconv are the host's char16_t arrays");

constexpr char16_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle openIconv(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    return IconvHandle(cd);
}

// Runs iconv over the whole input; at every sequence it cannot convert, calls
// onBad(position) which appends a substitute and returns how many input bytes
// to skip. Output grows as needed, so the cost stays linear in the input.
template <typename OnBad>
void convertAll(iconv_t cd, const char* in, std::size_t inLen, std::string& out, OnBad onBad) {
    std::size_t produced = out.size();
    out.resize(produced + inLen * 2 + 16);
    char* inPtr = const_cast<char*>(in);
    std::size_t inLeft = inLen;
    while (inLeft > 0) {
        char* outPtr = out.data() + produced;
        std::size_t outLeft = out.size() - produced;
        std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        produced = std::size_t(outPtr - out.data());
        if (rc != std::size_t(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL: substitute and skip the offending input.
        out.resize(produced);
        std::size_t skip = std::min(onBad(std::size_t(inPtr - in), out), inLeft);
        produced = out.size();
        out.resize(produced + inLeft * 2 + 16);
        inPtr += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    }
    out.resize(produced);
}

std::string utf16ToBig5(std::u16string_view wide) {
    std::string out;
    IconvHandle cd = openIconv("CP950", "UTF-16LE");
    if (!cd) return std::string(wide.size(), '?');
    const char* bytes = reinterpret_cast<const char*>(wide.data());
    convertAll(static_cast<iconv_t>(cd.get()), bytes, wide.size() * 2, out,
               [&](std::size_t bytePos, std::string& o) -> std::size_t {
                   o.push_back('?');
                   std::size_t unit = bytePos / 2;
                   bool pair = unit + 1 < wide.size() && isHighSurrogate(wide[unit]) &&
                               isLowSurrogate(wide[unit + 1]);
                   return pair ? 4 : 2;
               });
    return out;
}

std::u16string big5ToUtf16(std::string_view ansi) {
    std::string out;
    IconvHandle cd = openIconv("UTF-16LE", "CP950");
    if (!cd) return utf8ToUtf16(ansi);
    convertAll(static_cast<iconv_t>(cd.get()), ansi.data(), ansi.size(), out,
               [](std::size_t, std::string& o) -> std::size_t {
                   o.push_back('?');
                   o.push_back('\0');
                   return 1;
               });
    std::u16string wide(out.size() / 2, u'\0');
    std::copy_n(out.data(), wide.size() * 2, reinterpret_cast<char*>(wide.data()));
    return wide;
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

std::string CodePage::toAnsi(std::u16string_view wide) const {
    return number_ == kBig5 ? utf16ToBig5(wide) : utf16ToUtf8(wide);
}

std::u16string CodePage::toWide(std::string_view ansi) const {
    return number_ == kBig5 ? big5ToUtf16(ansi) : utf8ToUtf16(ansi);
}

std::string CodePage::fromUtf8(std::string_view utf8) const {
    return number_ == kBig5 ? utf16ToBig5(utf8ToUtf16(utf8)) : std::string(utf8);
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
