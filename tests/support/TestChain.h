// TestChain: a root, an intermediate and a leaf made by pennaform-testca,
// for tests that build chains or sign with a chain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/TestCa.h"

namespace pennaform::test {

struct TestChain {
    std::vector<std::uint8_t> root, intermediate, leaf;  // DER
    // The files TestCa wrote: <name>.der and <name>.key.pem in its folder.
    std::string rootName, intermediateName, leafName;
};

// makeTestChain: root "<leafName> Root" (a CA), intermediate "<leafName>
// Issuing CA" issued by it and leaf `leafName` issued by that, each under its own name
// in `ca`'s folder; `leafOptions` are added to the leaf's options (validity,
// key bits: 1024 unless given). Empty members when the tool fails.
TestChain makeTestChain(TestCa& ca, const std::string& leafName,
                        const std::vector<std::string>& leafOptions = {});

}  // namespace pennaform::test
