#include "support/TestChain.h"

#include <algorithm>

namespace pennaform::test {

TestChain makeTestChain(TestCa& ca, const std::string& leafName,
                        const std::vector<std::string>& leafOptions) {
    TestChain chain{{}, {}, {}, leafName + "-root", leafName + "-issuing", leafName};
    auto issuedBy = [&](const std::string& issuer) {
        return std::vector<std::string>{"--issuer-cert", ca.path(issuer + ".der"), "--issuer-key",
                                        ca.path(issuer + ".key.pem")};
    };
    chain.root =
        ca.certificate(chain.rootName, {"--subject", "/C=TW/O=Test/CN=" + leafName + " Root",
                                        "--ca", "--key-bits", "1024"})
            .value_or(std::vector<std::uint8_t>());
    std::vector<std::string> options{"--subject", "/C=TW/O=Test/CN=" + leafName + " Issuing CA",
                                     "--ca",      "--key-bits",
                                     "1024",      "--serial",
                                     "02"};
    const std::vector<std::string> byRoot = issuedBy(chain.rootName);
    options.insert(options.end(), byRoot.begin(), byRoot.end());
    chain.intermediate =
        ca.certificate(chain.intermediateName, options).value_or(std::vector<std::uint8_t>());
    options = {"--subject", "/C=TW/O=Test/CN=" + leafName, "--serial", "0A0B"};
    if (std::find(leafOptions.begin(), leafOptions.end(), "--key-bits") == leafOptions.end() &&
        std::find(leafOptions.begin(), leafOptions.end(), "--key") == leafOptions.end()) {
        options.insert(options.end(), {"--key-bits", "1024"});
    }
    options.insert(options.end(), leafOptions.begin(), leafOptions.end());
    const std::vector<std::string> byIntermediate = issuedBy(chain.intermediateName);
    options.insert(options.end(), byIntermediate.begin(), byIntermediate.end());
    chain.leaf = ca.certificate(chain.leafName, options).value_or(std::vector<std::uint8_t>());
    return chain;
}

}  // namespace pennaform::test
