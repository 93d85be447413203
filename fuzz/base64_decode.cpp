// Fuzz target: ByteBuffer::base64Decode on arbitrary text.
// Checks that a result is well formed, that its Base64 encoding decodes back
// to it, and that the table-driven path agrees with the exact lenient loop
// (a space after every character keeps every group off the fast path, and
// spaces never change what a text decodes to).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "encoding/ByteBuffer.h"

using pennaform::ByteBuffer;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool sameContent(const ByteBuffer& a, const ByteBuffer& b) {
    return a.length() == b.length() &&
           (a.empty() || std::memcmp(a.data(), b.data(), std::size_t(a.length())) == 0);
}

void requireWellFormed(const ByteBuffer& buffer, bool ok) {
    require(ok == !buffer.empty());
    if (ok) require(buffer.data()[buffer.length()] == 0 && buffer.data()[buffer.length() + 1] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ByteBuffer decoded;
    const bool ok = decoded.base64Decode(text);
    requireWellFormed(decoded, ok);

    if (ok) {
        ByteBuffer encoded;
        require(encoded.base64Encode(decoded.data(), decoded.length()));
        require(encoded.length() == (decoded.length() + 2) / 3 * 4);
        ByteBuffer again;
        require(again.base64Decode(encoded.text()));
        require(sameContent(again, decoded));
    }

    // Armour is found by "----", which the spacing would hide.
    const std::string_view cText = text.substr(0, text.find('\0'));
    if (cText.find("----") == std::string_view::npos) {
        std::string spaced;
        spaced.reserve(2 * cText.size());
        for (char c : cText) (spaced += c) += ' ';
        ByteBuffer slow;
        const bool slowOk = slow.base64Decode(spaced);
        require(slowOk == ok);
        require(sameContent(slow, decoded));
    }
    return 0;
}
