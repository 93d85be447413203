#pragma once

#include <iosfwd>

#include "cli/CommandLine.h"

namespace pennaform::cli {

// runServe: `pennaform serve [--port N]`: the loopback bridge for web pages
// (bridge/BridgeService.h) until SIGINT or SIGTERM, each connection's Engine
// with the dialog host the options name. Prints the addresses it serves on
// `out`; a usage mistake or a port that cannot be bound on `err`. Returns the
// exit status.
int runServe(const CommandLine& commandLine, std::ostream& out, std::ostream& err);

}  // namespace pennaform::cli
