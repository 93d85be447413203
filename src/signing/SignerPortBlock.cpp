#include "signing/SignerPortBlock.h"

#include <algorithm>
#include <cstring>

#include "platform/Utf16Le.h"

namespace pennaform::signing {

namespace {

using namespace portLayout;
namespace errors = platform::errors;

std::uint32_t readWord(std::span<const std::uint8_t> block, std::size_t at) {
    return std::uint32_t(block[at]) | std::uint32_t(block[at + 1]) << 8 |
           std::uint32_t(block[at + 2]) << 16 | std::uint32_t(block[at + 3]) << 24;
}

void writeWord(std::span<std::uint8_t> block, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) block[at + i] = std::uint8_t(value >> (8 * i));
}

// limitOf: how far entries may reach: the stored size, never beyond the span.
std::size_t limitOf(std::span<const std::uint8_t> block) {
    if (block.size() < kHeaderSize) return 0;
    return std::min<std::size_t>(readWord(block, 4), block.size());
}

bool keyTerminated(std::span<const std::uint8_t> block, std::size_t offset) {
    for (std::size_t unit = 0; unit < kKeyUnits; ++unit) {
        if (block[offset + 2 * unit] == 0 && block[offset + 2 * unit + 1] == 0) return true;
    }
    return false;
}

bool keyEquals(std::span<const std::uint8_t> block, std::size_t offset, std::u16string_view key) {
    if (key.size() >= kKeyUnits) return false;
    for (std::size_t unit = 0; unit <= key.size(); ++unit) {
        const char16_t stored =
            char16_t(block[offset + 2 * unit] | block[offset + 2 * unit + 1] << 8);
        if (stored != (unit < key.size() ? key[unit] : u'\0')) return false;
    }
    return true;
}

// cutBack: a damaged block reduced to its valid entries: the count and size
// rewritten, everything after the last valid entry zeroed.
void cutBack(std::span<std::uint8_t> block, BlockWalk& walk) {
    if (!walk.damaged || block.size() < kHeaderSize) return;
    writeWord(block, 0, std::uint32_t(walk.entries.size()));
    writeWord(block, 4, std::uint32_t(std::min<std::size_t>(block.size(), UINT32_MAX)));
    std::fill(block.begin() + std::ptrdiff_t(walk.end), block.end(), 0);
    walk.damaged = false;
}

// walkForChange: the walk a mutating primitive starts from, with the block
// cut back first when it is damaged.
BlockWalk walkForChange(std::span<std::uint8_t> block) {
    BlockWalk walk = walkEntries(block);
    cutBack(block, walk);
    return walk;
}

}  // namespace

BlockWalk walkEntries(std::span<const std::uint8_t> block) {
    BlockWalk walk;
    if (block.size() < kHeaderSize) {
        walk.end = block.size();
        walk.damaged = !block.empty();
        return walk;
    }
    const std::size_t limit = limitOf(block);
    const std::uint32_t count = readWord(block, 0);
    walk.damaged = readWord(block, 4) != block.size();
    std::size_t offset = kHeaderSize;
    // Each valid entry takes at least kEntryHeader bytes of the limit, so the
    // loop ends within limit / kEntryHeader rounds whatever the count says.
    for (std::uint32_t index = 0; index < count; ++index) {
        if (limit < kEntryHeader || offset > limit - kEntryHeader ||
            !keyTerminated(block, offset)) {
            walk.damaged = true;
            break;
        }
        const PortEntry entry{offset, readWord(block, offset + kKeyBytes)};
        // No primitive writes an empty value: a zero length is a zeroed area.
        if (entry.valueLength == 0 || entry.valueLength > limit - entry.valueOffset()) {
            walk.damaged = true;
            break;
        }
        walk.entries.push_back(entry);
        offset = entry.end();
    }
    walk.end = offset;
    // Bytes past the last entry are the remains of entries that no longer
    // count: a change zeroes them, so that a block once written is clean.
    walk.damaged = walk.damaged || std::any_of(block.begin() + std::ptrdiff_t(offset), block.end(),
                                               [](std::uint8_t b) { return b != 0; });
    return walk;
}

std::optional<PortEntry> findEntry(std::span<const std::uint8_t> block, const BlockWalk& walk,
                                   std::u16string_view key) {
    for (const PortEntry& entry : walk.entries) {
        if (keyEquals(block, entry.offset, key)) return entry;
    }
    return std::nullopt;
}

void formatBlock(std::span<std::uint8_t> block) {
    std::fill(block.begin(), block.end(), 0);
    if (block.size() >= kHeaderSize) {
        writeWord(block, 4, std::uint32_t(std::min<std::size_t>(block.size(), UINT32_MAX)));
    }
}

platform::Status portAdd(std::span<std::uint8_t> block, std::u16string_view key,
                         platform::ByteView value) {
    if (value.empty()) return platform::fail(errors::kErrorBadLength);
    if (key.size() >= kKeyUnits) return platform::fail(errors::kRpcSStringTooLong);
    BlockWalk walk = walkForChange(block);
    if (findEntry(block, walk, key)) return platform::fail(errors::kErrorAlreadyExists);
    const std::size_t limit = limitOf(block);
    if (limit < kHeaderSize || value.size() > limit ||
        walk.end + kEntryHeader > limit - value.size()) {
        return platform::fail(errors::kErrorOutOfMemory);
    }
    if (walk.entries.empty()) std::fill(block.begin() + kHeaderSize, block.end(), 0);
    const std::vector<std::uint8_t> keyBytes = utf16LeBytes(key);
    std::fill_n(block.begin() + std::ptrdiff_t(walk.end), kKeyBytes, 0);
    std::copy(keyBytes.begin(), keyBytes.end(), block.begin() + std::ptrdiff_t(walk.end));
    writeWord(block, walk.end + kKeyBytes, std::uint32_t(value.size()));
    std::copy(value.begin(), value.end(), block.begin() + std::ptrdiff_t(walk.end + kEntryHeader));
    writeWord(block, 0, std::uint32_t(walk.entries.size() + 1));
    return platform::Status::success();
}

platform::Status portUpdate(std::span<std::uint8_t> block, std::u16string_view key,
                            platform::ByteView value) {
    if (value.empty()) return platform::fail(errors::kErrorBadLength);
    BlockWalk walk = walkForChange(block);
    std::optional<PortEntry> entry = findEntry(block, walk, key);
    if (!entry) return platform::fail(errors::kErrorFileNotFound);
    if (value.size() > entry->valueLength) return platform::fail(errors::kErrorNotEnoughMemory);
    auto stored = block.subspan(entry->valueOffset(), entry->valueLength);
    std::fill(stored.begin(), stored.end(), 0);
    std::copy(value.begin(), value.end(), stored.begin());
    return platform::Status::success();
}

platform::Status portRemove(std::span<std::uint8_t> block, std::u16string_view key) {
    BlockWalk walk = walkForChange(block);
    std::optional<PortEntry> entry = findEntry(block, walk, key);
    if (!entry) return platform::fail(errors::kErrorFileNotFound);
    const std::size_t removed = entry->end() - entry->offset;
    std::memmove(block.data() + entry->offset, block.data() + entry->end(),
                 walk.end - entry->end());
    std::fill(block.begin() + std::ptrdiff_t(walk.end - removed),
              block.begin() + std::ptrdiff_t(walk.end), 0);
    writeWord(block, 0, std::uint32_t(walk.entries.size() - 1));
    return platform::Status::success();
}

platform::Outcome<std::uint32_t> portGet(std::span<const std::uint8_t> block,
                                         std::u16string_view key,
                                         std::optional<std::span<std::uint8_t>> buffer) {
    const BlockWalk walk = walkEntries(block);
    std::optional<PortEntry> entry = findEntry(block, walk, key);
    if (!entry) return platform::fail(errors::kErrorFileNotFound);
    if (buffer) {
        if (buffer->size() < entry->valueLength) {
            return platform::fail(errors::kErrorInsufficientBuffer);
        }
        auto stored = block.subspan(entry->valueOffset(), entry->valueLength);
        std::copy(stored.begin(), stored.end(), buffer->begin());
    }
    return entry->valueLength;
}

}  // namespace pennaform::signing
