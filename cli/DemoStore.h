// The demo's certificate steps: two certificates made and installed by the
// test CA, the personal store listed with the indexed getters, a filter
// string choosing one of them, and one deleted.
#pragma once

#include <string>

#include "cli/DemoRun.h"
#include "engine/Engine.h"

namespace pennaform::cli {

// runStoreDemo: the steps, on `engine`, whose state home is `home`. The test
// CA is PENNAFORM_TESTCA when set, else the pennaform-testca built beside
// this command, else the one on the PATH.
void runStoreDemo(DemoRun& run, Engine& engine, const std::string& home);

}  // namespace pennaform::cli
