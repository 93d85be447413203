// CodePage: the process code page, in which all text inside the component is
// held, and the conversions between it and the UTF-16 of the API boundary.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pennaform {

class CodePage {
public:
    static constexpr int kUtf8 = 65001;
    static constexpr int kBig5 = 950;

    // fromLocaleName: the code page a locale name such as "zh_TW.Big5" asks
    // for: 950 for the codesets Big5 and CP950 (in any letter case), UTF-8
    // for every other name and for an empty one.
    static CodePage fromLocaleName(std::string_view localeName);
    // fromEnvironment: the locale variables LC_ALL, then LC_CTYPE, then LANG
    // (the first one set and non-empty decides).
    static CodePage fromEnvironment();
    // process: the code page of this process, read from the environment once.
    static const CodePage& process();

    explicit CodePage(int number) : number_(number == kBig5 ? kBig5 : kUtf8) {}
    int number() const { return number_; }
    // isLeadByte: whether `byte` starts a two-byte character: in Big5 the
    // bytes 0x81..0xFE, whose second byte may look like a backslash or a
    // letter; never in UTF-8, where no byte of a character looks like ASCII.
    bool isLeadByte(unsigned char byte) const {
        return number_ == kBig5 && byte >= 0x81 && byte != 0xFF;
    }

    // The three conversions below are the backend's (iconv on POSIX); the
    // rest of CodePage is portable.

    // toAnsi: UTF-16 text into this code page. A character the code page
    // cannot hold, and an unpaired surrogate, becomes '?'.
    std::string toAnsi(std::u16string_view wide) const;
    // toWide: text in this code page into UTF-16. A byte sequence that is not
    // valid in the code page becomes U+FFFD (UTF-8) or '?' (Big5).
    std::u16string toWide(std::string_view ansi) const;
    // fromUtf8: the component's fixed texts, kept as UTF-8, in this code page.
    std::string fromUtf8(std::string_view utf8) const;

private:
    int number_;
};

// toWide: the process code page's conversion of a result string, as every
// string result leaves the Engine.
std::u16string toWide(std::string_view ansi);
// toAnsi: the process code page's conversion of a string argument.
std::string toAnsi(std::u16string_view wide);

// beforeNul: the text up to its first NUL: what the platform's 8-bit
// functions see of a string the component hands them.
inline std::u16string_view beforeNul(std::u16string_view text) {
    return text.substr(0, text.find(u'\0'));
}

// Unicode helpers shared by the boundary and the command.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

}  // namespace pennaform
