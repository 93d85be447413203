// Loading and storing 32- and 64-bit words in a fixed byte order, whatever
// the host's own order.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace pennaform::digests {

template <typename Word>
Word loadWord(const std::uint8_t* p, bool bigEndian) {
    Word w;
    std::memcpy(&w, p, sizeof w);
    const bool hostBig = std::endian::native == std::endian::big;
    if (hostBig != bigEndian) {
        if constexpr (sizeof(Word) == 4)
            w = __builtin_bswap32(w);
        else
            w = __builtin_bswap64(w);
    }
    return w;
}

template <typename Word>
void storeWord(std::uint8_t* p, Word w, bool bigEndian) {
    const bool hostBig = std::endian::native == std::endian::big;
    if (hostBig != bigEndian) {
        if constexpr (sizeof(Word) == 4)
            w = __builtin_bswap32(w);
        else
            w = __builtin_bswap64(w);
    }
    std::memcpy(p, &w, sizeof w);
}

inline std::uint32_t loadLe32(const std::uint8_t* p) {
    return loadWord<std::uint32_t>(p, false);
}
inline std::uint32_t loadBe32(const std::uint8_t* p) {
    return loadWord<std::uint32_t>(p, true);
}
inline std::uint64_t loadBe64(const std::uint8_t* p) {
    return loadWord<std::uint64_t>(p, true);
}

}  // namespace pennaform::digests
