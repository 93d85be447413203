#include "crypto/Des.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <utility>

namespace pennaform::des {
namespace {

// The tables of FIPS 46-3: bit numbers count from 1 at the most significant
// bit, as the standard writes them.
// The tables keep the standard's rows.
// clang-format off
constexpr std::uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
constexpr std::uint8_t kPermutation[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                           26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                           3,  9, 19, 13, 30, 6,  22, 11, 4,  25};
constexpr std::uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
    35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
    46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
constexpr std::uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
constexpr std::uint8_t kKeyShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};
constexpr std::uint8_t kSBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5,  3,  8,  4,  1,  14, 8,  13, 6, 2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2,  13, 12, 0,  5, 10, 3,  13, 4,  7,  15, 2,
     8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0,  14, 7,  11, 10, 4, 13, 1,  5,  8,  12, 6,
     9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4,  2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6,  3,  15, 5,  1,  13, 12, 7, 11, 4,  2, 8,  13, 7,  0,  9,  3,  4,
     6,  10, 2,  8,  5,  14, 12, 11, 15, 1,  13, 6, 4,  9,  8, 15, 3,  0,  11, 1,  2,  12,
     5,  10, 14, 7,  1,  10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3, 11, 5,  2,  12},
    {7,  13, 14, 3,  0,  6,  9, 10, 1,  2, 8,  5,  11, 12, 4,  15, 13, 8,  11, 5, 6,  15,
     0,  3,  4,  7,  2,  12, 1, 10, 14, 9, 10, 6,  9,  0,  12, 11, 7,  13, 15, 1, 3,  14,
     5,  2,  8,  4,  3,  15, 0, 6,  10, 1, 13, 8,  9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5,  0,  15, 10, 3,  9,  8,  6,  4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0,  14, 11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11, 10, 15, 4,  2,  7,  12,
     9,  5,  6,  1,  13, 14, 0,  11, 3,  8,  9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4,  10,
     1,  13, 11, 6,  4,  3,  2,  12, 9,  5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0,  8,  13, 3,  12, 9,  7,  5,  10, 6,  1,  13, 0,  11, 7,  4,  9,
     1,  10, 14, 3,  5,  12, 2,  15, 8,  6,  1,  4,  11, 13, 12, 3,  7,  14, 10, 15, 6,  8,
     0,  5,  9,  2,  6,  11, 13, 8,  1,  4,  10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  1,  15, 13, 8,  10, 3,
     7,  4,  12, 5,  6,  11, 0,  14, 9,  2,  7,  11, 4,  1,  9,  12, 14, 2,  0,  6,  10, 13,
     15, 3,  5,  8,  2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

// clang-format on

// permute: the bits `table` picks from the `inWidth`-bit value `in`, the
// first entry becoming the most significant of the `outWidth`-bit result.
template <typename Table>
constexpr std::uint64_t permute(std::uint64_t in, unsigned inWidth, const Table& table) {
    std::uint64_t out = 0;
    for (std::size_t i = 0; i < std::size(table); ++i)
        out = (out << 1) | ((in >> (inWidth - table[i])) & 1);
    return out;
}

constexpr std::array<std::uint8_t, 64> inverseOf(const std::uint8_t (&table)[64]) {
    std::array<std::uint8_t, 64> inverse{};
    for (std::uint8_t i = 0; i < 64; ++i) inverse[table[i] - 1] = std::uint8_t(i + 1);
    return inverse;
}

// ByteTables: a 64-bit permutation as eight tables, one per input byte,
// each giving the output bits that byte's value sets.
using ByteTables = std::array<std::array<std::uint64_t, 256>, 8>;

template <typename Table>
constexpr ByteTables byteTablesOf(const Table& table) {
    // Where each input bit lands, then each byte value as the union of its
    // bits' places (cheap enough for every compiler's constant evaluation).
    std::array<std::uint64_t, 64> bitPlaces{};
    for (unsigned bit = 0; bit < 64; ++bit) {
        bitPlaces[bit] = permute(std::uint64_t(1) << (63 - bit), 64, table);
    }
    ByteTables tables{};
    for (unsigned byte = 0; byte < 8; ++byte) {
        for (unsigned value = 0; value < 256; ++value) {
            for (unsigned bit = 0; bit < 8; ++bit) {
                if (value & (0x80u >> bit)) tables[byte][value] |= bitPlaces[8 * byte + bit];
            }
        }
    }
    return tables;
}

constexpr std::array<std::uint8_t, 64> kFinalPermutation = inverseOf(kInitialPermutation);

constexpr ByteTables kIpTables = byteTablesOf(kInitialPermutation);
constexpr ByteTables kFpTables = byteTablesOf(kFinalPermutation);

// kSpTables: S-box i followed by the permutation P, for each 6-bit input,
// so that a round's f is eight lookups.
constexpr std::array<std::array<std::uint32_t, 64>, 8> makeSpTables() {
    std::array<std::array<std::uint32_t, 64>, 8> tables{};
    for (unsigned box = 0; box < 8; ++box) {
        for (unsigned input = 0; input < 64; ++input) {
            const unsigned row = ((input >> 4) & 2) | (input & 1);
            const unsigned column = (input >> 1) & 15;
            const std::uint64_t nibble = std::uint64_t(kSBoxes[box][row * 16 + column])
                                         << (28 - 4 * box);
            tables[box][input] = std::uint32_t(permute(nibble, 32, kPermutation));
        }
    }
    return tables;
}
constexpr std::array<std::array<std::uint32_t, 64>, 8> kSp = makeSpTables();

inline std::uint64_t permuteBytes(const ByteTables& tables, std::uint64_t in) {
    std::uint64_t out = 0;
    for (unsigned byte = 0; byte < 8; ++byte) out |= tables[byte][(in >> (56 - 8 * byte)) & 0xFF];
    return out;
}

// f: the cipher function of one round. The expansion E reads group g of
// six bits from R bits 4g-1 to 4g+4: rotating R left by one puts groups 7,
// 5, 3 and 1 at bits 0, 8, 16 and 24, rotating it right by three puts
// groups 6, 4, 2 and 0 there.
inline std::uint32_t f(std::uint32_t right, const TripleDes::RoundKey& key) {
    const std::uint32_t odd = std::rotl(right, 1) ^ key.odd;
    const std::uint32_t even = std::rotr(right, 3) ^ key.even;
    return kSp[7][odd & 63] ^ kSp[5][(odd >> 8) & 63] ^ kSp[3][(odd >> 16) & 63] ^
           kSp[1][(odd >> 24) & 63] ^ kSp[6][even & 63] ^ kSp[4][(even >> 8) & 63] ^
           kSp[2][(even >> 16) & 63] ^ kSp[0][(even >> 24) & 63];
}

// rounds: the sixteen rounds of one DES pass, forward (encryption) or with
// the round keys in reverse (decryption). The halves come out swapped, as
// the standard's pre-output block has them.
template <bool kForward>
inline void rounds(std::uint32_t& left, std::uint32_t& right, const TripleDes::Schedule& keys) {
    for (int i = 0; i < 16; i += 2) {
        left ^= f(right, keys[kForward ? i : 15 - i]);
        right ^= f(left, keys[kForward ? i + 1 : 14 - i]);
    }
    std::swap(left, right);
}

TripleDes::Schedule scheduleOf(const std::uint8_t* key) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | key[i];
    const std::uint64_t cd = permute(bits, 64, kPermutedChoice1);
    std::uint32_t c = std::uint32_t(cd >> 28), d = std::uint32_t(cd & 0x0FFFFFFF);
    TripleDes::Schedule schedule{};
    for (int round = 0; round < 16; ++round) {
        const unsigned shift = kKeyShifts[round];
        c = ((c << shift) | (c >> (28 - shift))) & 0x0FFFFFFF;
        d = ((d << shift) | (d >> (28 - shift))) & 0x0FFFFFFF;
        const std::uint64_t subkey = permute((std::uint64_t(c) << 28) | d, 56, kPermutedChoice2);
        std::uint32_t groups[8];
        for (int g = 0; g < 8; ++g) groups[g] = std::uint32_t(subkey >> (42 - 6 * g)) & 63;
        schedule[round].odd = groups[7] | groups[5] << 8 | groups[3] << 16 | groups[1] << 24;
        schedule[round].even = groups[6] | groups[4] << 8 | groups[2] << 16 | groups[0] << 24;
    }
    return schedule;
}

inline std::uint64_t load(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
    return value;
}

inline void store(std::uint64_t value, std::uint8_t* bytes) {
    for (int i = 7; i >= 0; --i, value >>= 8) bytes[i] = std::uint8_t(value);
}

}  // namespace

std::optional<TripleDes> TripleDes::fromKey(std::span<const std::uint8_t> key) {
    if (key.size() != 8 && key.size() != 16 && key.size() != 24) return std::nullopt;
    TripleDes cipher;
    cipher.single_ = key.size() == 8;
    cipher.schedules_[0] = scheduleOf(key.data());
    if (!cipher.single_) {
        cipher.schedules_[1] = scheduleOf(key.data() + 8);
        cipher.schedules_[2] =
            key.size() == 24 ? scheduleOf(key.data() + 16) : cipher.schedules_[0];
    }
    return cipher;
}

TripleDes::~TripleDes() {
    // The round keys are the key: nothing of it stays behind in memory.
    volatile std::uint8_t* bytes = reinterpret_cast<volatile std::uint8_t*>(schedules_.data());
    for (std::size_t i = 0; i < sizeof(schedules_); ++i) bytes[i] = 0;
}

// Between the passes of Triple DES the final permutation of one and the
// initial permutation of the next cancel out, so each block is permuted once
// on the way in and once on the way out.
void TripleDes::encryptBlock(const std::uint8_t* in, std::uint8_t* out) const {
    const std::uint64_t permuted = permuteBytes(kIpTables, load(in));
    std::uint32_t left = std::uint32_t(permuted >> 32), right = std::uint32_t(permuted);
    rounds<true>(left, right, schedules_[0]);
    if (!single_) {
        rounds<false>(left, right, schedules_[1]);
        rounds<true>(left, right, schedules_[2]);
    }
    store(permuteBytes(kFpTables, (std::uint64_t(left) << 32) | right), out);
}

void TripleDes::decryptBlock(const std::uint8_t* in, std::uint8_t* out) const {
    const std::uint64_t permuted = permuteBytes(kIpTables, load(in));
    std::uint32_t left = std::uint32_t(permuted >> 32), right = std::uint32_t(permuted);
    if (single_) {
        rounds<false>(left, right, schedules_[0]);
    } else {
        rounds<false>(left, right, schedules_[2]);
        rounds<true>(left, right, schedules_[1]);
        rounds<false>(left, right, schedules_[0]);
    }
    store(permuteBytes(kFpTables, (std::uint64_t(left) << 32) | right), out);
}

std::vector<std::uint8_t> cbcEncrypt(const TripleDes& cipher, const Block& iv,
                                     std::span<const std::uint8_t> data) {
    const std::size_t padLen = kBlockLen - data.size() % kBlockLen;
    std::vector<std::uint8_t> out(data.size() + padLen);
    // std::copy, not memcpy: an empty text's data() may be null.
    std::copy(data.begin(), data.end(), out.begin());
    std::fill(out.begin() + std::ptrdiff_t(data.size()), out.end(), std::uint8_t(padLen));
    const std::uint8_t* chain = iv.data();
    for (std::size_t at = 0; at < out.size(); at += kBlockLen) {
        for (std::size_t i = 0; i < kBlockLen; ++i) out[at + i] ^= chain[i];
        cipher.encryptBlock(&out[at], &out[at]);
        chain = &out[at];
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> cbcDecrypt(const TripleDes& cipher, const Block& iv,
                                                    std::span<const std::uint8_t> data) {
    if (data.empty() || data.size() % kBlockLen != 0) return std::nullopt;
    std::vector<std::uint8_t> out(data.size());
    const std::uint8_t* chain = iv.data();
    for (std::size_t at = 0; at < data.size(); at += kBlockLen) {
        cipher.decryptBlock(&data[at], &out[at]);
        for (std::size_t i = 0; i < kBlockLen; ++i) out[at + i] ^= chain[i];
        chain = &data[at];
    }
    const std::uint8_t padLen = out.back();
    bool padded = padLen >= 1 && padLen <= kBlockLen;
    for (std::size_t i = 0; padded && i < padLen; ++i) padded = out[out.size() - 1 - i] == padLen;
    if (!padded) return std::nullopt;
    out.resize(out.size() - padLen);
    return out;
}

}  // namespace pennaform::des
