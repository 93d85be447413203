// The digests against the known answers of RFC 1321 and FIPS 180-4 (kept in
// tests/data/digests), on every set of block functions this CPU runs; the
// length field of the final padding; and the digest objects' contract.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "crypto/Digests.h"
#include "support/VectorFile.h"

namespace pennaform {
namespace {

using digests::DigestKernels;

std::string hexOf(const ByteBuffer& b) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t byte : b.bytes()) {
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 15]);
    }
    return out;
}

// Hasher: one algorithm behind a common face, on a chosen kernel set.
struct Hasher {
    virtual ~Hasher() = default;
    virtual ByteBuffer& buffer() = 0;
    virtual void init() = 0;
    virtual void update(const void* data, std::size_t len) = 0;
    virtual void final() = 0;
    virtual bool compute(const void* data, std::size_t len) = 0;
};

template <typename D>
struct HasherOf : Hasher {
    explicit HasherOf(const DigestKernels& k) : digest(k) {}
    ByteBuffer& buffer() override { return digest; }
    void init() override { digest.init(); }
    void update(const void* data, std::size_t len) override { digest.update(data, len); }
    void final() override { digest.final(); }
    bool compute(const void* data, std::size_t len) override { return digest.compute(data, len); }
    D digest;
};

struct Algorithm {
    const char* name;
    const char* vectorFile;
    std::int32_t digestLen;
    std::unique_ptr<Hasher> (*make)(const DigestKernels&);
};

template <typename D>
std::unique_ptr<Hasher> make(const DigestKernels& k) {
    return std::make_unique<HasherOf<D>>(k);
}

const Algorithm kAlgorithms[] = {
    {"MD5", "md5.vec", 16, make<Md5Digest>},
    {"SHA1", "sha1.vec", 20, make<Sha1Digest>},
    {"SHA256", "sha256.vec", 32, make<Sha256Digest>},
    {"SHA512", "sha512.vec", 64, make<Sha512Digest>},
};

// digestOfPattern: the digest of `pattern` repeated to `length` bytes, fed
// through update in pieces of about 1 MiB (whole repetitions each).
std::string digestOfPattern(Hasher& h, const std::string& pattern, std::uint64_t length) {
    std::string piece;
    while (piece.size() < (1u << 20)) piece += pattern;
    h.init();
    for (std::uint64_t left = length; left > 0;) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(left, piece.size()));
        h.update(piece.data(), n);
        left -= n;
    }
    h.final();
    return hexOf(h.buffer());
}

class DigestVectors
    : public ::testing::TestWithParam<std::tuple<const Algorithm*, const DigestKernels*>> {};

TEST_P(DigestVectors, MatchEveryKnownAnswer) {
    const auto [algorithm, kernels] = GetParam();
    auto h = algorithm->make(*kernels);
    auto blocks = test::readVectorFile(std::string(PENNAFORM_TEST_DATA) + "/digests/" +
                                       algorithm->vectorFile);
    ASSERT_GE(blocks.size(), 20u);
    for (auto& block : blocks) {
        std::string message;
        std::string got;
        if (block.has("Text")) {
            message = block.get("Text");
        } else {
            const std::string pattern = test::hexToBytes(block.get("Pattern"));
            const std::uint64_t length = std::stoull(block.get("Length"));
            if (length > (1u << 20)) {
                got = digestOfPattern(*h, pattern, length);
            } else {
                while (message.size() < length) message += pattern;
                message.resize(length);
            }
        }
        const std::string want = block.get("Digest");
        block.finish();
        if (got.empty()) {
            ASSERT_TRUE(h->compute(message.data(), message.size()));
            got = hexOf(h->buffer());
            EXPECT_EQ(h->buffer().length(), algorithm->digestLen);
            // The same message in two updates, split at every place.
            for (std::size_t cut = 0; cut <= message.size() && message.size() <= 1000; ++cut) {
                h->init();
                h->update(message.data(), cut);
                h->update(message.data() + cut, message.size() - cut);
                h->final();
                ASSERT_EQ(hexOf(h->buffer()), want) << block.where() << " cut at " << cut;
            }
        }
        EXPECT_EQ(got, want) << block.where() << " on " << kernels->name;
    }
}

INSTANTIATE_TEST_SUITE_P(AllPaths, DigestVectors,
                         ::testing::Combine(::testing::Values(&kAlgorithms[0], &kAlgorithms[1],
                                                              &kAlgorithms[2], &kAlgorithms[3]),
                                            ::testing::ValuesIn(digests::runnableDigestKernels())),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)->name) + "_" +
                                    std::string(std::get<1>(info.param)->name);
                         });

TEST(DigestPaths, ThisCpuRunsTheAcceleratedSet) {
    // The machines this component is built and tested on have the SHA
    // extensions and AVX2; on them both sets must be under test.
    const auto sets = digests::runnableDigestKernels();
    EXPECT_EQ(sets.front(), &digests::portableDigestKernels());
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2")) {
        ASSERT_EQ(sets.size(), 2u);
        EXPECT_NE(sets[1]->sha512, sets[0]->sha512);
    }
}

// The final padding: 0x80, zeros, and the length in bits in the standard's
// field width and byte order, checked with byte counts too large to hash.
TEST(DigestPadding, LengthFieldCarriesTheFullBitCount) {
    std::uint8_t block[256];

    // MD5: 64-bit little-endian; 2^29 + 1 bytes is 2^32 + 8 bits.
    std::fill(std::begin(block), std::end(block), 0xAA);
    EXPECT_EQ(digests::padFinalBlocks(block, 3, 64, 8, (1ull << 29) + 1,
                                      digests::ByteOrder::kLittleEndian),
              1u);
    EXPECT_EQ(block[3], 0x80);
    EXPECT_TRUE(std::all_of(block + 4, block + 56, [](std::uint8_t b) { return b == 0; }));
    const std::uint8_t md5Field[8] = {0x08, 0, 0, 0, 0x01, 0, 0, 0};
    EXPECT_TRUE(std::equal(md5Field, md5Field + 8, block + 56));

    // SHA-256: 64-bit big-endian; the top bits of a 2^61 - 1 byte count.
    std::fill(std::begin(block), std::end(block), 0xAA);
    EXPECT_EQ(
        digests::padFinalBlocks(block, 56, 64, 8, (1ull << 61) - 1, digests::ByteOrder::kBigEndian),
        2u);
    EXPECT_EQ(block[56], 0x80);
    EXPECT_TRUE(std::all_of(block + 57, block + 120, [](std::uint8_t b) { return b == 0; }));
    const std::uint8_t shaField[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF8};
    EXPECT_TRUE(std::equal(shaField, shaField + 8, block + 120));

    // SHA-512: 128-bit big-endian; 2^61 + 3 bytes is 2^64 + 24 bits, which
    // needs the upper half.
    std::fill(std::begin(block), std::end(block), 0xAA);
    EXPECT_EQ(digests::padFinalBlocks(block, 111, 128, 16, (1ull << 61) + 3,
                                      digests::ByteOrder::kBigEndian),
              1u);
    EXPECT_EQ(block[111], 0x80);
    const std::uint8_t wideField[16] = {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 24};
    EXPECT_TRUE(std::equal(wideField, wideField + 16, block + 112));
    EXPECT_EQ(digests::padFinalBlocks(block, 112, 128, 16, 112, digests::ByteOrder::kBigEndian),
              2u);
    EXPECT_EQ(block[255], 0x80);  // 112 * 8 = 896 = 0x380
    EXPECT_EQ(block[254], 0x03);
}

TEST(DigestObjects, ComputeLeavesExactlyTheDigestAndStartsAfresh) {
    for (const Algorithm& a : kAlgorithms) {
        auto h = a.make(digests::fastestDigestKernels());
        const std::string abc = "abc";
        ASSERT_TRUE(h->compute(abc.data(), abc.size()));
        const std::string first = hexOf(h->buffer());
        EXPECT_EQ(h->buffer().length(), a.digestLen) << a.name;
        // The buffer's zero tail follows the digest, as for every ByteBuffer.
        EXPECT_EQ(h->buffer().data()[a.digestLen], 0) << a.name;
        EXPECT_EQ(h->buffer().data()[a.digestLen + 1], 0) << a.name;
        // A second compute forgets the first message and its result.
        ASSERT_TRUE(h->compute("x", 1));
        ASSERT_TRUE(h->compute(abc.data(), abc.size()));
        EXPECT_EQ(hexOf(h->buffer()), first) << a.name;
        // Empty input needs no data pointer.
        EXPECT_TRUE(h->compute(nullptr, 0)) << a.name;
        EXPECT_EQ(h->buffer().length(), a.digestLen) << a.name;
    }
}

}  // namespace
}  // namespace pennaform
