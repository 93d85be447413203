// The "pfx" subcommand: a PFX (PKCS#12) file holding a certificate, its key
// when given, and more certificates without keys.
#pragma once

#include <string>
#include <vector>

namespace pennaform::testca {

// runPfxCommand: the subcommand's exit status (0 written, 1 failed, 2 usage).
int runPfxCommand(const std::vector<std::string>& args);

}  // namespace pennaform::testca
