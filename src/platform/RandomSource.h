// RandomSource: cryptographically strong random bytes, as CryptGenRandom
// gives them, for content keys, container names and IVs.
#pragma once

#include <cstdint>
#include <span>

#include "platform/Outcome.h"

namespace pennaform::platform {

class RandomSource {
public:
    virtual ~RandomSource() = default;

    // fill: fills `out` with random bytes; on failure its content is
    // unspecified and the error is NTE_FAIL (the source cannot be read) or
    // the system's error.
    virtual Status fill(std::span<std::uint8_t> out) = 0;
};

}  // namespace pennaform::platform
