// File helpers: whole-file reading for the operations that read a PFX,
// certificate or other file the caller names, and reading a file in pieces
// for those that only stream through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "encoding/ByteBuffer.h"

namespace pennaform {

// pathExists: whether anything (a file or a folder) exists at `path`. An
// empty path, or one the process may not look into, does not exist.
bool pathExists(const std::string& path);

// readFile: the whole regular file at `path` into `out`, which is emptied
// first. False, with `out` empty, for an empty path, a file that cannot be
// opened, is not a regular file, has length 0 or is too large for a
// ByteBuffer, a failed allocation, a failed read, or a file that ends before
// the length it had when opened.
bool readFile(ByteBuffer& out, const std::string& path);

// readFileInPieces: hands the regular file at `path` to `consume` in pieces
// of at most `maxPiece` bytes, in order, using one buffer of that size.
// Returns the number of bytes read, or nothing when the file cannot be
// opened, is not a regular file, or a read fails (after which `consume` may
// have seen a part of the file).
std::optional<std::uint64_t> readFileInPieces(
    const std::string& path, std::size_t maxPiece,
    const std::function<void(std::span<const std::uint8_t>)>& consume);

}  // namespace pennaform
