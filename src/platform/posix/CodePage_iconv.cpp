// CodePage on POSIX: the conversions between UTF-16 and Big5 (code page
// 950) through iconv; UTF-8 needs no library and is converted in the
// portable CodePage.cpp.
#include "platform/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <memory>
#include <string_view>

namespace pennaform {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the UTF-16LE buffers taken from iconv are the host's char16_t arrays");

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

// A substitute for a sequence iconv cannot convert: the bytes written in its
// place and how many input bytes it stands for.
struct Substitute {
    std::string_view bytes;
    std::size_t skip;
};

// convertAll: iconv over the whole input, starting with room for `outRoom`
// bytes of output; each sequence it cannot convert becomes `substitute`. The
// output buffer only ever grows by doubling and a substitution writes only its
// own bytes, so the cost stays linear in the input however many
// substitutions there are.
std::string convertAll(iconv_t cd, const char* in, std::size_t inLen, std::size_t outRoom,
                       Substitute substitute) {
    std::string out(outRoom + 16, '\0');
    std::size_t produced = 0;
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
        if (out.size() - produced < substitute.bytes.size()) out.resize(out.size() * 2);
        produced = std::size_t(std::copy(substitute.bytes.begin(), substitute.bytes.end(),
                                         out.begin() + std::ptrdiff_t(produced)) -
                               out.begin());
        const std::size_t skip = std::min(substitute.skip, inLeft);
        inPtr += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    }
    out.resize(produced);
    return out;
}

// codePointsOf: `wide` as one code point per character, a surrogate pair
// joined into one; an unpaired surrogate is kept as it is, which no code page
// holds.
std::u32string codePointsOf(std::u16string_view wide) {
    std::u32string points;
    points.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char32_t unit = wide[i];
        if (isHighSurrogate(unit) && i + 1 < wide.size() && isLowSurrogate(wide[i + 1])) {
            points.push_back(0x10000 + ((unit - 0xD800) << 10) + (wide[++i] - 0xDC00));
        } else {
            points.push_back(unit);
        }
    }
    return points;
}

// utf16ToBig5 hands iconv code points in its own internal form ("WCHAR_T"):
// from UTF-16 it converts in two steps, and each character the second step
// refuses makes it convert a whole internal buffer again, a hundred times the
// cost of the character itself.
std::string utf16ToBig5(std::u16string_view wide) {
    static_assert(sizeof(wchar_t) == sizeof(char32_t), "wchar_t holds one code point");
    IconvHandle cd = openIconv("CP950", "WCHAR_T");
    if (!cd) return std::string(wide.size(), '?');
    const std::u32string points = codePointsOf(wide);
    const char* bytes = reinterpret_cast<const char*>(points.data());
    return convertAll(static_cast<iconv_t>(cd.get()), bytes, points.size() * sizeof(char32_t),
                      points.size() * 2, Substitute{"?", sizeof(char32_t)});
}

std::u16string big5ToUtf16(std::string_view ansi) {
    IconvHandle cd = openIconv("UTF-16LE", "CP950");
    if (!cd) return utf8ToUtf16(ansi);
    using namespace std::string_view_literals;
    const std::string out = convertAll(static_cast<iconv_t>(cd.get()), ansi.data(), ansi.size(),
                                       ansi.size() * 2, Substitute{"?\0"sv, 1});
    std::u16string wide(out.size() / 2, u'\0');
    std::copy_n(out.data(), wide.size() * 2, reinterpret_cast<char*>(wide.data()));
    return wide;
}

}  // namespace

std::string CodePage::toAnsi(std::u16string_view wide) const {
    return number_ == kBig5 ? utf16ToBig5(wide) : utf16ToUtf8(wide);
}

std::u16string CodePage::toWide(std::string_view ansi) const {
    return number_ == kBig5 ? big5ToUtf16(ansi) : utf8ToUtf16(ansi);
}

std::string CodePage::fromUtf8(std::string_view utf8) const {
    return number_ == kBig5 ? utf16ToBig5(utf8ToUtf16(utf8)) : std::string(utf8);
}

}  // namespace pennaform
