// readFile: a whole file into a ByteBuffer, through the platform's file
// system, for the operations that read a PFX, certificate or other file the
// caller names.
#pragma once

#include <string>

#include "encoding/ByteBuffer.h"

namespace pennaform {

// readFile: the whole regular file at `path` into `out`, which is emptied
// first; the file's bytes land straight in the buffer. False, with `out`
// empty, whenever platform::readWholeFile refuses the file, and for a file
// too large for a ByteBuffer or a failed allocation.
bool readFile(ByteBuffer& out, const std::string& path);

}  // namespace pennaform
