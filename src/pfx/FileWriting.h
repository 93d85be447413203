// File writing: the whole-file writer for the files the component writes for
// the user (exported PFX files, a PFX file with a changed password), and
// file removal.
#pragma once

#include <string>

#include "encoding/ByteBuffer.h"

namespace pennaform {

// writeFile: makes the file at `path` hold exactly the bytes of `buffer`
// (none for an empty buffer), readable and writable by its owner only. The
// bytes go to a new temporary file in the same folder, which is flushed to
// disk and then renamed over `path`, so a failure at any point leaves the
// old file (or no file) as it was, never a part of the new one. False for an
// empty path, and when any step fails (no temporary file is left then).
bool writeFile(const ByteBuffer& buffer, const std::string& path);

// removeFile: removes the file at `path`; false for an empty path or when
// it cannot be removed.
bool removeFile(const std::string& path);

}  // namespace pennaform
