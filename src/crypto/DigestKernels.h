// DigestKernels: the block functions behind the digest objects, one set for
// each instruction-set level. A digest object uses the fastest set this CPU
// runs unless it is handed another; the tests hand it each set in turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pennaform::digests {

// Each block function absorbs `blockCount` whole blocks (64 bytes, 128 for
// SHA-512) starting at `blocks` into the chaining words `state`.
using Md5Blocks = void (*)(std::uint32_t* state, const std::uint8_t* blocks,
                           std::size_t blockCount);
using Sha1Blocks = void (*)(std::uint32_t* state, const std::uint8_t* blocks,
                            std::size_t blockCount);
using Sha256Blocks = void (*)(std::uint32_t* state, const std::uint8_t* blocks,
                              std::size_t blockCount);
using Sha512Blocks = void (*)(std::uint64_t* state, const std::uint8_t* blocks,
                              std::size_t blockCount);

struct DigestKernels {
    std::string_view name;
    Md5Blocks md5;
    Sha1Blocks sha1;
    Sha256Blocks sha256;
    Sha512Blocks sha512;
};

// portableDigestKernels: plain C++, for every CPU.
const DigestKernels& portableDigestKernels();
// fastestDigestKernels: the quickest set this CPU runs (SHA extensions for
// SHA-1 and SHA-256, AVX2 with BMI2 for SHA-512), chosen once on first use.
const DigestKernels& fastestDigestKernels();
// runnableDigestKernels: every distinct set this CPU runs, portable first.
std::vector<const DigestKernels*> runnableDigestKernels();

// The block functions themselves. The accelerated ones exist on x86-64 only
// and may be called only when the CPU has the named extensions.
void md5BlocksPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t blockCount);
void sha1BlocksPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t blockCount);
void sha256BlocksPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t blockCount);
void sha512BlocksPortable(std::uint64_t* state, const std::uint8_t* blocks, std::size_t blockCount);
#if defined(__x86_64__)
void sha1BlocksShaNi(std::uint32_t* state, const std::uint8_t* blocks, std::size_t blockCount);
void sha256BlocksShaNi(std::uint32_t* state, const std::uint8_t* blocks, std::size_t blockCount);
void sha512BlocksAvx2(std::uint64_t* state, const std::uint8_t* blocks, std::size_t blockCount);
#endif

}  // namespace pennaform::digests
