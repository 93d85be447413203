#include "crypto/Digests.h"

#include <algorithm>
#include <cstring>

#include "crypto/WordBytes.h"

namespace pennaform {
namespace digests {

std::size_t padFinalBlocks(std::uint8_t* block, std::size_t fill, std::size_t blockLen,
                           std::size_t lengthFieldLen, std::uint64_t messageBytes,
                           ByteOrder order) {
    // The 0x80 byte and the length field must fit behind the waiting bytes;
    // when they do not, the padding spills into a second block.
    const std::size_t count = fill + 1 + lengthFieldLen <= blockLen ? 1 : 2;
    const std::size_t total = count * blockLen;
    block[fill] = 0x80;
    std::memset(block + fill + 1, 0, total - fill - 1);

    // The length in bits as a 128-bit number: low and high 64-bit halves.
    const std::uint64_t lowBits = messageBytes << 3;
    const std::uint64_t highBits = messageBytes >> 61;
    std::uint8_t* field = block + total - lengthFieldLen;
    const bool big = order == ByteOrder::kBigEndian;
    if (lengthFieldLen == 16) {
        storeWord(field + (big ? 0 : 8), highBits, big);
        storeWord(field + (big ? 8 : 0), lowBits, big);
    } else {
        storeWord(field, lowBits, big);
    }
    return count;
}

template <typename Word, std::size_t StateWords, std::size_t BlockLen>
void BlockAbsorber<Word, StateWords, BlockLen>::absorb(const std::uint8_t* data, std::size_t len) {
    if (len == 0) return;
    messageBytes_ += len;
    if (fill_ > 0) {
        const std::size_t take = std::min(len, BlockLen - fill_);
        std::memcpy(buffer_.data() + fill_, data, take);
        fill_ += take;
        data += take;
        len -= take;
        if (fill_ < BlockLen) return;
        blocks_(state_.data(), buffer_.data(), 1);
        fill_ = 0;
    }
    const std::size_t whole = len / BlockLen;
    if (whole > 0) blocks_(state_.data(), data, whole);
    const std::size_t rest = len % BlockLen;
    if (rest > 0) std::memcpy(buffer_.data(), data + whole * BlockLen, rest);
    fill_ = rest;
}

template class BlockAbsorber<std::uint32_t, 4, 64>;
template class BlockAbsorber<std::uint32_t, 5, 64>;
template class BlockAbsorber<std::uint32_t, 8, 64>;
template class BlockAbsorber<std::uint64_t, 8, 128>;

namespace {

// writeDigest: the chaining words as the digest's bytes, in the algorithm's
// byte order.
template <typename Word, std::size_t N>
void writeDigest(ByteBuffer& out, const std::array<Word, N>& state, ByteOrder order) {
    out.allocate(std::int32_t(N * sizeof(Word)));
    for (std::size_t i = 0; i < N; ++i) {
        storeWord(out.data() + i * sizeof(Word), state[i], order == ByteOrder::kBigEndian);
    }
}

// Initial chaining values: RFC 1321 section 3.3; FIPS 180-4 sections 5.3.1,
// 5.3.3 and 5.3.5.
constexpr std::array<std::uint32_t, 4> kMd5Initial = {0x67452301, 0xefcdab89, 0x98badcfe,
                                                      0x10325476};
constexpr std::array<std::uint32_t, 5> kSha1Initial = {0x67452301, 0xefcdab89, 0x98badcfe,
                                                       0x10325476, 0xc3d2e1f0};
constexpr std::array<std::uint32_t, 8> kSha256Initial = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
constexpr std::array<std::uint64_t, 8> kSha512Initial = {
    0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
    0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};

const std::uint8_t* bytesOf(const void* data) {
    return static_cast<const std::uint8_t*>(data);
}

}  // namespace
}  // namespace digests

using digests::ByteOrder;

Md5Digest::Md5Digest(const digests::DigestKernels& kernels) : absorber_(kernels.md5) {
    init();
}
void Md5Digest::init() {
    release();
    absorber_.reset(digests::kMd5Initial);
}
void Md5Digest::update(const void* data, std::size_t len) {
    absorber_.absorb(digests::bytesOf(data), len);
}
void Md5Digest::final() {
    absorber_.finish(8, ByteOrder::kLittleEndian);
    digests::writeDigest(*this, absorber_.state(), ByteOrder::kLittleEndian);
}
bool Md5Digest::compute(const void* data, std::size_t len) {
    init();
    update(data, len);
    final();
    return true;
}

Sha1Digest::Sha1Digest(const digests::DigestKernels& kernels) : absorber_(kernels.sha1) {
    init();
}
void Sha1Digest::init() {
    release();
    absorber_.reset(digests::kSha1Initial);
}
void Sha1Digest::update(const void* data, std::size_t len) {
    absorber_.absorb(digests::bytesOf(data), len);
}
void Sha1Digest::final() {
    absorber_.finish(8, ByteOrder::kBigEndian);
    digests::writeDigest(*this, absorber_.state(), ByteOrder::kBigEndian);
}
bool Sha1Digest::compute(const void* data, std::size_t len) {
    init();
    update(data, len);
    final();
    return true;
}

Sha256Digest::Sha256Digest(const digests::DigestKernels& kernels) : absorber_(kernels.sha256) {
    init();
}
void Sha256Digest::init() {
    release();
    absorber_.reset(digests::kSha256Initial);
}
void Sha256Digest::update(const void* data, std::size_t len) {
    absorber_.absorb(digests::bytesOf(data), len);
}
void Sha256Digest::final() {
    absorber_.finish(8, ByteOrder::kBigEndian);
    digests::writeDigest(*this, absorber_.state(), ByteOrder::kBigEndian);
}
bool Sha256Digest::compute(const void* data, std::size_t len) {
    init();
    update(data, len);
    final();
    return true;
}

Sha512Digest::Sha512Digest(const digests::DigestKernels& kernels) : absorber_(kernels.sha512) {
    init();
}
void Sha512Digest::init() {
    release();
    absorber_.reset(digests::kSha512Initial);
}
void Sha512Digest::update(const void* data, std::size_t len) {
    absorber_.absorb(digests::bytesOf(data), len);
}
void Sha512Digest::final() {
    absorber_.finish(16, ByteOrder::kBigEndian);
    digests::writeDigest(*this, absorber_.state(), ByteOrder::kBigEndian);
}
bool Sha512Digest::compute(const void* data, std::size_t len) {
    init();
    update(data, len);
    final();
    return true;
}

}  // namespace pennaform
