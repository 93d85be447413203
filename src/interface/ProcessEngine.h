// The process-wide Engine behind the flat exports.
#pragma once

#include "engine/Engine.h"

namespace pennaform {

// processEngine: the one Engine of the flat exports, constructed when the
// library is loaded and destroyed when it is unloaded. It takes no lock:
// callers of the exports serialise their calls.
Engine& processEngine();

}  // namespace pennaform
