// Fuzz target: the code-page conversions both ways, Big5 and UTF-8. The
// first byte picks the code page; the rest is read once as 8-bit text and
// once as UTF-16 code units. Whatever comes in, a conversion's output
// converts again to itself: text once through toAnsi is text the code page
// holds, so toWide and back must give the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/CodePage.h"

using namespace pennaform;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    CodePage page(data[0] & 1 ? CodePage::kBig5 : CodePage::kUtf8);
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    std::u16string wide = page.toWide(bytes);
    std::string narrowed = page.toAnsi(wide);
    require(page.toAnsi(page.toWide(narrowed)) == narrowed);

    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(char16_t(std::uint8_t(bytes[i]) | std::uint8_t(bytes[i + 1]) << 8));
    }
    std::string ansi = page.toAnsi(units);
    require(page.toAnsi(page.toWide(ansi)) == ansi);
    require(utf8ToUtf16(utf16ToUtf8(units)).size() <= units.size());
    return 0;
}
