// The process-wide Engine behind the flat exports.
#pragma once

#include "engine/Engine.h"

namespace pennaform {

// processEngine: the one Engine of the flat exports, built by the first call
// that needs it (never while the library loads, so a failure cannot end the
// host's dlopen) and destroyed at the process's static clean-up. Building it
// is thread-safe; when it throws (memory ran out), the exception goes to the
// caller, which is always inside the guard (Guard.h), and the next call tries
// again. Once built it takes no lock: callers of the exports serialise their
// calls.
Engine& processEngine();

}  // namespace pennaform
