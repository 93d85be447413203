// Fuzz target: ByteBuffer::hexDecode on arbitrary text.
// Checks the result's length (one byte per pair up to the first NUL), its
// zero tail, that hexEncode and hexDecode round-trip the decoded bytes, and
// that text of hex digits only re-encodes to itself in upper case.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "encoding/ByteBuffer.h"

using pennaform::ByteBuffer;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t cLength = std::min(text.find('\0'), text.size());

    ByteBuffer decoded;
    const bool ok = decoded.hexDecode(text);
    require(ok == (cLength > 0 && cLength % 2 == 0));
    if (!ok) {
        require(decoded.empty() && decoded.data() == nullptr);
        return 0;
    }
    require(std::size_t(decoded.length()) == cLength / 2);
    require(decoded.data()[decoded.length()] == 0 && decoded.data()[decoded.length() + 1] == 0);

    ByteBuffer encoded;
    require(encoded.hexEncode(decoded.data(), decoded.length()));
    require(std::size_t(encoded.length()) == cLength);
    ByteBuffer again;
    require(again.hexDecode(encoded.text()));
    require(again.length() == decoded.length() &&
            std::memcmp(again.data(), decoded.data(), std::size_t(again.length())) == 0);

    // Text of hex digits only comes back as itself, upper-cased.
    const std::string_view digits = text.substr(0, cLength);
    if (std::all_of(digits.begin(), digits.end(),
                    [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
        for (std::size_t i = 0; i < cLength; ++i) {
            require(encoded.text()[i] == std::toupper(static_cast<unsigned char>(digits[i])));
        }
    }
    return 0;
}
