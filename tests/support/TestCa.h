// TestCa: makes certificates, bundles and PFX files for a test by running
// pennaform-testca in a fresh temporary folder of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/Process.h"
#include "support/TemporaryFolder.h"

namespace pennaform::test {

// testCaPath: the pennaform-testca program under test: PENNAFORM_TESTCA when
// set, else the one this build made.
std::string testCaPath();

class TestCa {
public:
    // path: a file name inside the folder (not created).
    std::string path(const std::string& name) const { return folder_.sub(name); }
    // run: the tool with `words`; its exit status and output.
    ProcessResult run(const std::vector<std::string>& words) const;
    // certificate: runs `cert` with `options` writing <name>.der (and the new
    // key to <name>.key.pem); the DER bytes, or nullopt when the tool failed
    // (its standard error is in lastError()).
    std::optional<std::vector<std::uint8_t>> certificate(const std::string& name,
                                                         const std::vector<std::string>& options);
    const std::string& lastError() const { return lastError_; }

private:
    TemporaryFolder folder_;
    std::string lastError_;
};

// readBinaryFile: the whole file; empty when it cannot be read.
std::vector<std::uint8_t> readBinaryFile(const std::string& path);

}  // namespace pennaform::test
