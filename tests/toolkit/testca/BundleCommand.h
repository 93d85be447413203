// The "bundle" subcommand: a PKCS#7 certificates-only bundle (SignedData
// with no content and no signer), as `openssl crl2pkcs7 -nocrl` writes one.
#pragma once

#include <string>
#include <vector>

namespace pennaform::testca {

// runBundleCommand: the subcommand's exit status (0 written, 1 failed, 2 usage).
int runBundleCommand(const std::vector<std::string>& args);

}  // namespace pennaform::testca
