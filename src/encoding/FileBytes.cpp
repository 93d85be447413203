#include "encoding/FileBytes.h"

#include <cstdint>
#include <limits>

#include "platform/FileSystem.h"

namespace pennaform {

bool readFile(ByteBuffer& out, const std::string& path) {
    out.release();
    const bool read = platform::readWholeFile(path, [&](std::uint64_t size) -> std::uint8_t* {
        // The buffer's length is a 32-bit count with two zero bytes behind it.
        constexpr std::uint64_t kLargest =
            std::uint64_t(std::numeric_limits<std::int32_t>::max()) - 2;
        if (size > kLargest || !out.allocate(std::int32_t(size))) return nullptr;
        return out.data();
    });
    if (!read) out.release();
    return read;
}

}  // namespace pennaform
