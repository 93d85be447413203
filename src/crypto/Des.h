// Des: the component's own Data Encryption Standard (FIPS 46-3) and Triple
// DES (NIST SP 800-67: encrypt with K1, decrypt with K2, encrypt with K3),
// with CBC chaining and PKCS#5 padding. Portable code, no library: the
// mobile record must come out byte for byte the same on every platform.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pennaform::des {

inline constexpr std::size_t kBlockLen = 8;
using Block = std::array<std::uint8_t, kBlockLen>;

// TripleDes: the round keys of one DES or Triple-DES key, wiped when the
// object goes. The parity bits of the key bytes play no part.
class TripleDes {
public:
    // fromKey: 8 bytes give single DES, 16 bytes two-key Triple DES (K1, K2,
    // K1), 24 bytes three-key Triple DES; any other length gives nothing.
    static std::optional<TripleDes> fromKey(std::span<const std::uint8_t> key);

    TripleDes(const TripleDes&) = default;
    TripleDes& operator=(const TripleDes&) = default;
    ~TripleDes();

    // encryptBlock, decryptBlock: one 8-byte block (ECB), in place allowed.
    void encryptBlock(const std::uint8_t* in, std::uint8_t* out) const;
    void decryptBlock(const std::uint8_t* in, std::uint8_t* out) const;

    // One round key: the eight 6-bit groups of the 48-bit subkey, odd groups
    // in `odd` and even groups in `even`, one per byte, as the round reads them.
    struct RoundKey {
        std::uint32_t odd = 0;
        std::uint32_t even = 0;
    };
    using Schedule = std::array<RoundKey, 16>;

private:
    TripleDes() = default;

    std::array<Schedule, 3> schedules_{};
    bool single_ = false;  // one DES key: one pass instead of three
};

// cbcEncrypt: `data` in CBC mode from `iv`, with 1 to 8 bytes of PKCS#5
// padding, so the result is (len / 8 + 1) * 8 bytes.
std::vector<std::uint8_t> cbcEncrypt(const TripleDes& cipher, const Block& iv,
                                     std::span<const std::uint8_t> data);
// cbcDecrypt: the plain text of a CBC cipher text with its PKCS#5 padding
// removed; nothing when the length is not whole blocks (or zero) or the
// padding is not valid.
std::optional<std::vector<std::uint8_t>> cbcDecrypt(const TripleDes& cipher, const Block& iv,
                                                    std::span<const std::uint8_t> data);

}  // namespace pennaform::des
