// The "cert" subcommand: makes one certificate (root, intermediate or end
// entity) and, when asked, its new key.
#pragma once

#include <string>
#include <vector>

namespace pennaform::testca {

// runCertCommand: the subcommand's exit status (0 made, 1 failed, 2 usage).
int runCertCommand(const std::vector<std::string>& args);

}  // namespace pennaform::testca
