// CodePage on POSIX: the conversions between UTF-16 and Big5 (code page
// 950) through iconv; UTF-8 needs no library and is converted in the
// portable CodePage.cpp.
#include "platform/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <memory>

namespace pennaform {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the UTF-16LE buffers handed to iconv are the host's char16_t arrays");

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
