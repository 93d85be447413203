// SignerPortBlock: the signer port's key/value layout over the bytes of one
// shared block, and the primitives that read and change it. Pure code over a
// span: the caller holds the block's lock for as long as it works on it.
//
// Layout (little-endian): a header of the entry count (4 bytes) and the block
// size (4 bytes), then the entries back to back, then zeros. An entry is its
// key (80 bytes: UTF-16LE, zero-terminated and zero-padded, so at most 39
// characters), the value length (4 bytes) and the value bytes.
//
// Nothing stored is trusted: every walk is bounded by the span and by the
// stored size, and stops at the first entry that does not fit (no terminator
// in its key, a length of 0 or running past the end, more entries counted than
// there are). That entry and those after it read as absent, and a change to
// such a block, or to one with non-zero bytes past its last valid entry,
// first cuts it back to its valid entries and zeroes the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::signing {

namespace portLayout {
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kKeyBytes = 80;
inline constexpr std::size_t kKeyUnits = kKeyBytes / 2;  // the terminator included
inline constexpr std::size_t kEntryHeader = kKeyBytes + 4;
}  // namespace portLayout

// PortEntry: where one valid entry lies in the block.
struct PortEntry {
    std::size_t offset = 0;  // of its key
    std::uint32_t valueLength = 0;
    std::size_t valueOffset() const { return offset + portLayout::kEntryHeader; }
    std::size_t end() const { return valueOffset() + valueLength; }
};

// BlockWalk: the valid entries in order, where the last one ends (the header
// size when there is none), and whether the block holds more than that
// (entries that do not fit, non-zero bytes past the last entry, or a stored
// size that is not the span's).
struct BlockWalk {
    std::vector<PortEntry> entries;
    std::size_t end = portLayout::kHeaderSize;
    bool damaged = false;
};

// walkEntries: the entries of `block` that the stored count announces and
// that lie whole within the span and the stored size.
BlockWalk walkEntries(std::span<const std::uint8_t> block);

// findEntry: the valid entry whose key is exactly `key` (UTF-16); nullopt
// when there is none.
std::optional<PortEntry> findEntry(std::span<const std::uint8_t> block, const BlockWalk& walk,
                                   std::u16string_view key);

// formatBlock: a new block: all zeros, then the size written into the header.
void formatBlock(std::span<std::uint8_t> block);

// The primitives. Keys are UTF-16 and compared exactly. Each answers success
// or the platform error Windows gives for the same case; the mutating ones
// cut a damaged block back first.

// portAdd: appends an entry. ERROR_BAD_LENGTH (24) for an empty value,
// RPC_S_STRING_TOO_LONG (1743) for a key of 40 characters or more,
// ERROR_ALREADY_EXISTS (183) for a key present, ERROR_OUTOFMEMORY (14) when
// the entry would end beyond the block. An empty block is zeroed after its
// header first.
platform::Status portAdd(std::span<std::uint8_t> block, std::u16string_view key,
                         platform::ByteView value);
// portUpdate: overwrites a value in place: the stored value zeroed and the
// new bytes copied to its start; the stored length stays. 24 for an empty
// value, ERROR_FILE_NOT_FOUND (2) for an absent key, ERROR_NOT_ENOUGH_MEMORY
// (8) for a value longer than the stored one.
platform::Status portUpdate(std::span<std::uint8_t> block, std::u16string_view key,
                            platform::ByteView value);
// portRemove: removes an entry, moving those after it down and zeroing the
// freed tail. 2 for an absent key or an empty block.
platform::Status portRemove(std::span<std::uint8_t> block, std::u16string_view key);
// portGet: the stored length of the value; with `buffer`, the value copied
// to its start as well. 2 for an absent key, ERROR_INSUFFICIENT_BUFFER (122)
// when the buffer is shorter than the value. Never changes the block.
platform::Outcome<std::uint32_t> portGet(std::span<const std::uint8_t> block,
                                         std::u16string_view key,
                                         std::optional<std::span<std::uint8_t>> buffer);

}  // namespace pennaform::signing
