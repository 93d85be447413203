// Digests: the component's own MD5 (RFC 1321), SHA-1, SHA-256 and SHA-512
// (FIPS 180-4). Each digest object is a ByteBuffer that holds the finished
// digest, with its algorithm's running state beside it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "crypto/DigestKernels.h"
#include "encoding/ByteBuffer.h"

namespace pennaform {
namespace digests {

enum class ByteOrder { kLittleEndian, kBigEndian };

// padFinalBlocks: turns the `fill` bytes waiting in `block` (fewer than
// blockLen; `block` has room for two blocks) into the message's last one or
// two blocks: 0x80, zeros, then the message length in bits in the last
// `lengthFieldLen` bytes (8, or 16 for SHA-512) in `order`. The length is
// messageBytes * 8 written out in full, so a 128-bit field carries the bits
// that a 64-bit count would lose. Returns how many blocks `block` now holds.
std::size_t padFinalBlocks(std::uint8_t* block, std::size_t fill, std::size_t blockLen,
                           std::size_t lengthFieldLen, std::uint64_t messageBytes, ByteOrder order);

// BlockAbsorber: the running state shared by the four algorithms: chaining
// words, the bytes of a block not yet complete, and the message's byte count.
// Whole blocks go to the block function straight from the caller's data.
template <typename Word, std::size_t StateWords, std::size_t BlockLen>
class BlockAbsorber {
public:
    using Blocks = void (*)(Word*, const std::uint8_t*, std::size_t);
    using State = std::array<Word, StateWords>;

    explicit BlockAbsorber(Blocks blocks) : blocks_(blocks) {}

    void reset(const State& initial) {
        state_ = initial;
        fill_ = 0;
        messageBytes_ = 0;
    }
    void absorb(const std::uint8_t* data, std::size_t len);
    // finish: pads the message and absorbs its last blocks.
    void finish(std::size_t lengthFieldLen, ByteOrder order) {
        const std::size_t count =
            padFinalBlocks(buffer_.data(), fill_, BlockLen, lengthFieldLen, messageBytes_, order);
        blocks_(state_.data(), buffer_.data(), count);
        fill_ = 0;
    }
    const State& state() const { return state_; }

private:
    Blocks blocks_;
    State state_{};
    std::array<std::uint8_t, 2 * BlockLen> buffer_{};
    std::size_t fill_ = 0;
    std::uint64_t messageBytes_ = 0;
};

}  // namespace digests

// The digest objects. Each offers init, update (any number of bytes, any
// number of calls) and final, which leaves exactly the digest bytes in the
// buffer, and compute, which does all three over one piece of data. The
// kernels argument chooses the block functions; the default is the fastest
// set this CPU runs.

class Md5Digest : public ByteBuffer {
public:
    static constexpr std::int32_t kDigestLen = 16;
    explicit Md5Digest(const digests::DigestKernels& kernels = digests::fastestDigestKernels());
    void init();
    void update(const void* data, std::size_t len);
    void final();
    // compute: the digest of `len` bytes at `data` (null is allowed when len
    // is 0). Always true.
    bool compute(const void* data, std::size_t len);

private:
    digests::BlockAbsorber<std::uint32_t, 4, 64> absorber_;
};

class Sha1Digest : public ByteBuffer {
public:
    static constexpr std::int32_t kDigestLen = 20;
    explicit Sha1Digest(const digests::DigestKernels& kernels = digests::fastestDigestKernels());
    void init();
    void update(const void* data, std::size_t len);
    void final();
    bool compute(const void* data, std::size_t len);

private:
    digests::BlockAbsorber<std::uint32_t, 5, 64> absorber_;
};

class Sha256Digest : public ByteBuffer {
public:
    static constexpr std::int32_t kDigestLen = 32;
    explicit Sha256Digest(const digests::DigestKernels& kernels = digests::fastestDigestKernels());
    void init();
    void update(const void* data, std::size_t len);
    void final();
    bool compute(const void* data, std::size_t len);

private:
    digests::BlockAbsorber<std::uint32_t, 8, 64> absorber_;
};

class Sha512Digest : public ByteBuffer {
public:
    static constexpr std::int32_t kDigestLen = 64;
    explicit Sha512Digest(const digests::DigestKernels& kernels = digests::fastestDigestKernels());
    void init();
    void update(const void* data, std::size_t len);
    void final();
    bool compute(const void* data, std::size_t len);

private:
    digests::BlockAbsorber<std::uint64_t, 8, 128> absorber_;
};

}  // namespace pennaform
