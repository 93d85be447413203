#pragma once

#include <cstddef>
#include <iosfwd>

#include "engine/Engine.h"

namespace pennaform::cli {

// kMaxSessionLine: the longest line a session reads, in bytes (its '\n' not
// counted). A longer line is answered with a usageError without being kept,
// and the session goes on with the next one.
inline constexpr std::size_t kMaxSessionLine = std::size_t(64) << 20;

// runSession: one call per JSON line of input, {"method":"Hash","args":["abc",0]},
// all on the same Engine; one JSON line out for each:
// {"result":...,"errorCode":N,"capiError":N}, or {"usageError":"..."} for a
// line that names no method or does not fit its arguments. Returns the exit
// status: 0 at the end of the input.
int runSession(Engine& engine, std::istream& in, std::ostream& out);

}  // namespace pennaform::cli
