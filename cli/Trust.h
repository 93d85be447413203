#pragma once

#include <iosfwd>

#include "cli/CommandLine.h"

namespace pennaform::cli {

// runTrust: `pennaform trust add|remove ORIGIN` and `pennaform trust list`:
// the web origins whose pages the bridge serves with a normal Engine, kept
// in the per-user registry of the state home. Returns the exit status: 2 for
// a usage mistake or a text that is not an origin, 1 for an origin to remove
// that is not on the list or a registry that fails.
int runTrust(const CommandLine& commandLine, std::ostream& out, std::ostream& err);

}  // namespace pennaform::cli
