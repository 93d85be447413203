#include "encoding/ByteBuffer.h"

#include "platform/AsciiCase.h"
#include "platform/HexText.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <limits>
#include <utility>

namespace pennaform {
namespace {

// Every non-empty buffer carries this many zero bytes behind its content.
constexpr std::size_t kTail = 2;
constexpr std::size_t kMaxLength = std::size_t(std::numeric_limits<std::int32_t>::max());

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// zeroFilled: n zero bytes, or an empty vector when that much memory cannot
// be had (the callers turn that into a failed operation).
std::vector<std::uint8_t> zeroFilled(std::size_t n) noexcept {
    try {
        return std::vector<std::uint8_t>(n);
    } catch (const std::exception&) {
        return {};
    }
}

// outputBlock: a block of n bytes for a codec to write its result into. The
// buffer's own block is taken over when it is large enough, not wastefully
// large, and the input does not lie in it: a caller that reuses a buffer then
// pays no fresh allocation (nor, for large results, its page faults) on every
// call. Otherwise the block is new. Bytes of a taken-over block keep their
// old values until written; sealOutput zeroes the tail. Empty when memory
// runs out.
std::vector<std::uint8_t> outputBlock(std::vector<std::uint8_t>& own, std::size_t n,
                                      const void* input, std::size_t inputLen) noexcept {
    const auto block = reinterpret_cast<std::uintptr_t>(own.data());
    const auto in = reinterpret_cast<std::uintptr_t>(input);
    const bool inputInside = in < block + own.capacity() && block < in + inputLen;
    if (!inputInside && own.capacity() >= n && own.capacity() / 2 <= n) {
        std::vector<std::uint8_t> taken = std::exchange(own, {});
        taken.resize(n);  // within capacity: nothing is allocated
        return taken;
    }
    return zeroFilled(n);
}

// sealOutput: cuts the block to the content's length and zeroes the tail.
void sealOutput(std::vector<std::uint8_t>& block, std::size_t length) {
    block.resize(length + kTail);
    std::memset(block.data() + length, 0, kTail);
}

// untilNul: the text as a C string would see it, ending at its first NUL.
std::string_view untilNul(std::string_view text) {
    if (text.empty()) return {};
    const void* nul = std::memchr(text.data(), 0, text.size());
    if (nul == nullptr) return text;
    return text.substr(0, std::size_t(static_cast<const char*>(nul) - text.data()));
}

constexpr bool isSkipped(std::uint8_t c) {
    return c == '\r' || c == '\n' || c == ' ';
}

// The decoder's tables. `value` is a character's lenient six-bit value: its
// position in the alphabet, 64 for '=', and 1 for anything else. `placed[k]`
// is the same value already shifted into place k of a 24-bit group, with
// kBreaksFastPath set for the characters that need the exact group logic
// ('=' and the skipped CR, LF and space); every other byte decodes the same
// way wherever it stands, so the fast path can take it as it comes.
constexpr std::uint32_t kBreaksFastPath = 0x80000000u;

struct DecodeTables {
    std::array<std::uint8_t, 256> value{};
    std::array<std::array<std::uint32_t, 256>, 4> placed{};
};

constexpr DecodeTables makeDecodeTables() {
    DecodeTables t;
    for (std::size_t c = 0; c < 256; ++c) t.value[c] = 1;
    for (std::size_t i = 0; i < 64; ++i) t.value[std::uint8_t(kAlphabet[i])] = std::uint8_t(i);
    t.value['='] = 64;
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t c = 0; c < 256; ++c) {
            const bool special = c == '=' || isSkipped(std::uint8_t(c));
            t.placed[k][c] = special ? kBreaksFastPath : std::uint32_t(t.value[c]) << (18 - 6 * k);
        }
    }
    return t;
}

constexpr DecodeTables kDecode = makeDecodeTables();

// kHexValue: a character's value as a hex digit, modulo 256. Only ASCII a-z
// are upper-cased; then a character below ':' counts as (c - '0') and any
// other as (c - 'A' + 10), so nothing is rejected and bytes 0x80-0xFF keep
// their own value.
constexpr std::array<std::uint8_t, 256> makeHexValues() {
    std::array<std::uint8_t, 256> t{};
    for (std::size_t i = 0; i < 256; ++i) {
        const int c = int(i);
        const int upper = asciiUpper(c);
        const int v = upper < ':' ? upper - '0' : upper - 'A' + 10;
        t[i] = std::uint8_t(v & 0xFF);
    }
    return t;
}

constexpr std::array<std::uint8_t, 256> kHexValue = makeHexValues();

// findBody: the part of the text that holds the Base64. Text with "----" in it
// is read as armour: dashes at the very start are skipped, the begin line runs
// to the next "----", the body starts after the dashes, CRs and LFs that
// follow it and ends before the next "----". False when either of those
// "----" is missing. Only a leading run of dashes is skipped, so text with
// anything before its begin line takes that line's label as the body.
bool findBody(std::string_view text, std::string_view& outBody) {
    constexpr std::string_view kDashes = "----";
    if (text.find(kDashes) == std::string_view::npos) {
        outBody = text;
        return true;
    }
    std::size_t pos = text.find_first_not_of('-');
    if (pos == std::string_view::npos) return false;
    const std::size_t beginLineEnd = text.find(kDashes, pos);
    if (beginLineEnd == std::string_view::npos) return false;
    const std::size_t start = text.find_first_not_of("-\r\n", beginLineEnd);
    if (start == std::string_view::npos) return false;
    const std::size_t end = text.find(kDashes, start);
    if (end == std::string_view::npos) return false;
    outBody = text.substr(start, end - start);
    return true;
}

// decodeGroup: the bytes of one group of 1 to 4 characters; the places past
// `count` are padding. '=' in the first two places counts as 0; '=' or padding
// in the third place ends the group after one byte, in the fourth after two.
std::uint8_t* decodeGroup(const std::uint8_t* c, int count, std::uint8_t* out) {
    const unsigned v0 = c[0] == '=' ? 0 : kDecode.value[c[0]];
    const unsigned v1 = (count < 2 || c[1] == '=') ? 0 : kDecode.value[c[1]];
    *out++ = std::uint8_t(v0 << 2 | v1 >> 4);
    if (count < 3 || c[2] == '=') return out;
    const unsigned v2 = kDecode.value[c[2]];
    *out++ = std::uint8_t(v1 << 4 | v2 >> 2);
    if (count < 4 || c[3] == '=') return out;
    *out++ = std::uint8_t(v2 << 6 | kDecode.value[c[3]]);
    return out;
}

// decodeBody: decodes the body into out (room for 3 bytes per 4 characters,
// rounded up) and returns the end of the decoded bytes. Groups of four
// characters with no '=' and nothing to skip take the table-driven fast path;
// at the first group that has one, the exact lenient loop takes that group,
// and the fast path resumes at the next group boundary.
std::uint8_t* decodeBody(std::string_view body, std::uint8_t* out) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(body.data());
    const auto* const end = p + body.size();
    const auto& t0 = kDecode.placed[0];
    const auto& t1 = kDecode.placed[1];
    const auto& t2 = kDecode.placed[2];
    const auto& t3 = kDecode.placed[3];
    for (;;) {
        while (end - p >= 4) {
            const std::uint32_t w = t0[p[0]] | t1[p[1]] | t2[p[2]] | t3[p[3]];
            if (w & kBreaksFastPath) break;
            out[0] = std::uint8_t(w >> 16);
            out[1] = std::uint8_t(w >> 8);
            out[2] = std::uint8_t(w);
            out += 3;
            p += 4;
        }
        std::uint8_t group[4];
        int count = 0;
        while (count < 4 && p < end) {
            const std::uint8_t c = *p++;
            if (!isSkipped(c)) group[count++] = c;
        }
        if (count == 0) return out;
        out = decodeGroup(group, count, out);
    }
}

// kEncodePairs: the two characters for every 12-bit value, so that three
// input bytes take two table reads instead of four.
constexpr std::array<std::array<std::uint8_t, 2>, 4096> makeEncodePairs() {
    std::array<std::array<std::uint8_t, 2>, 4096> t{};
    for (std::size_t v = 0; v < 4096; ++v) {
        t[v][0] = std::uint8_t(kAlphabet[v >> 6]);
        t[v][1] = std::uint8_t(kAlphabet[v & 63]);
    }
    return t;
}

constexpr std::array<std::array<std::uint8_t, 2>, 4096> kEncodePairs = makeEncodePairs();

// encodeBody: standard Base64 of n bytes with '=' padding into out (room for
// 4 characters per 3 bytes, rounded up).
void encodeBody(const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
    const std::uint8_t* const end = in + n;
    for (; end - in >= 3; in += 3, out += 4) {
        const std::uint32_t w = std::uint32_t(in[0]) << 16 | std::uint32_t(in[1]) << 8 | in[2];
        std::memcpy(out, kEncodePairs[w >> 12].data(), 2);
        std::memcpy(out + 2, kEncodePairs[w & 0xFFF].data(), 2);
    }
    if (in == end) return;
    const bool two = end - in == 2;
    const std::uint32_t w = std::uint32_t(in[0]) << 16 | (two ? std::uint32_t(in[1]) << 8 : 0);
    out[0] = std::uint8_t(kAlphabet[w >> 18]);
    out[1] = std::uint8_t(kAlphabet[(w >> 12) & 63]);
    out[2] = two ? std::uint8_t(kAlphabet[(w >> 6) & 63]) : '=';
    out[3] = '=';
}

}  // namespace

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : storage_(std::exchange(other.storage_, {})), length_(std::exchange(other.length_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        storage_ = std::exchange(other.storage_, {});
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

std::string_view ByteBuffer::text() const {
    if (length_ == 0) return {};
    return {reinterpret_cast<const char*>(storage_.data()), std::size_t(length_)};
}

void ByteBuffer::release() {
    std::vector<std::uint8_t>().swap(storage_);
    length_ = 0;
}

bool ByteBuffer::allocate(std::int32_t n) {
    release();
    if (n < 1) return false;
    storage_ = zeroFilled(std::size_t(n) + kTail);
    if (storage_.empty()) return false;
    length_ = n;
    return true;
}

bool ByteBuffer::append(const void* bytes, std::int32_t n) {
    if (bytes == nullptr || n <= 0) return false;
    if (std::size_t(length_) + std::size_t(n) > kMaxLength) return false;
    const auto* src = static_cast<const std::uint8_t*>(bytes);
    const std::size_t oldLen = std::size_t(length_);
    const std::size_t newLen = oldLen + std::size_t(n);
    if (newLen + kTail > storage_.capacity()) {
        // Grow geometrically into a new block. The old block stays alive until
        // the copy is done, so `bytes` may point into this buffer's content.
        std::vector<std::uint8_t> grown;
        try {
            grown.reserve(std::max(newLen + kTail, 2 * storage_.capacity()));
        } catch (const std::exception&) {
            return false;
        }
        grown.assign(storage_.begin(), storage_.begin() + std::ptrdiff_t(oldLen));
        grown.insert(grown.end(), src, src + n);
        grown.resize(newLen + kTail);
        storage_.swap(grown);
    } else {
        // Within capacity nothing moves, so `bytes` stays valid here too.
        storage_.resize(newLen + kTail);
        std::memmove(storage_.data() + oldLen, src, std::size_t(n));
    }
    length_ = std::int32_t(newLen);
    return true;
}

bool ByteBuffer::assignReversed(const void* bytes, std::int32_t n) {
    if (bytes == nullptr || n < 1) {
        release();
        return false;
    }
    // Built aside so that `bytes` may be this buffer's own content.
    std::vector<std::uint8_t> reversed = zeroFilled(std::size_t(n) + kTail);
    if (reversed.empty()) {
        release();
        return false;
    }
    const auto* src = static_cast<const std::uint8_t*>(bytes);
    std::reverse_copy(src, src + n, reversed.begin());
    storage_ = std::move(reversed);
    length_ = n;
    return true;
}

bool ByteBuffer::base64Encode(const void* bytes, std::int32_t n) {
    if (bytes == nullptr || n <= 0) {
        release();
        return false;
    }
    const std::size_t outLen = (std::size_t(n) + 2) / 3 * 4;
    if (outLen > kMaxLength) {
        release();
        return false;
    }
    std::vector<std::uint8_t> out = outputBlock(storage_, outLen + kTail, bytes, std::size_t(n));
    if (out.empty()) {
        release();
        return false;
    }
    encodeBody(static_cast<const std::uint8_t*>(bytes), std::size_t(n), out.data());
    sealOutput(out, outLen);
    storage_ = std::move(out);
    length_ = std::int32_t(outLen);
    return true;
}

bool ByteBuffer::base64Decode(std::string_view text) {
    std::string_view body;
    if (!findBody(untilNul(text), body) || body.empty()) {
        release();
        return false;
    }
    // Each group of four characters gives at most three bytes; skipped
    // characters only make the bound looser.
    const std::size_t bound = (body.size() + 3) / 4 * 3;
    std::vector<std::uint8_t> out = outputBlock(storage_, bound + kTail, body.data(), body.size());
    if (out.empty()) {
        release();
        return false;
    }
    const std::size_t outLen = std::size_t(decodeBody(body, out.data()) - out.data());
    if (outLen == 0 || outLen > kMaxLength) {
        release();
        return false;
    }
    sealOutput(out, outLen);
    storage_ = std::move(out);
    length_ = std::int32_t(outLen);
    return true;
}

bool ByteBuffer::hexEncode(const void* bytes, std::int32_t n) {
    if (bytes == nullptr || n <= 0 || 2 * std::size_t(n) > kMaxLength) {
        release();
        return false;
    }
    const std::size_t outLen = 2 * std::size_t(n);
    std::vector<std::uint8_t> out = outputBlock(storage_, outLen + kTail, bytes, std::size_t(n));
    if (out.empty()) {
        release();
        return false;
    }
    const auto* src = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t i = 0; i < std::size_t(n); ++i) {
        out[2 * i] = std::uint8_t(upperHexDigit(src[i] >> 4));
        out[2 * i + 1] = std::uint8_t(upperHexDigit(src[i]));
    }
    sealOutput(out, outLen);
    storage_ = std::move(out);
    length_ = std::int32_t(outLen);
    return true;
}

bool ByteBuffer::hexDecode(std::string_view text) {
    const std::string_view digits = untilNul(text);
    if (digits.empty() || digits.size() % 2 != 0 || digits.size() / 2 > kMaxLength) {
        release();
        return false;
    }
    const std::size_t outLen = digits.size() / 2;
    std::vector<std::uint8_t> out =
        outputBlock(storage_, outLen + kTail, digits.data(), digits.size());
    if (out.empty()) {
        release();
        return false;
    }
    const auto* src = reinterpret_cast<const std::uint8_t*>(digits.data());
    for (std::size_t i = 0; i < outLen; ++i) {
        out[i] = std::uint8_t((kHexValue[src[2 * i]] << 4) + kHexValue[src[2 * i + 1]]);
    }
    sealOutput(out, outLen);
    storage_ = std::move(out);
    length_ = std::int32_t(outLen);
    return true;
}

}  // namespace pennaform
