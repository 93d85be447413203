// pennaform-testca: a small certificate authority for tests and demos.
// `pennaform-testca SUBCOMMAND [OPTION...]`; the README lists the options.
#include <iostream>
#include <string>
#include <vector>

#include "toolkit/testca/BundleCommand.h"
#include "toolkit/testca/CertCommand.h"
#include "toolkit/testca/InstallCommand.h"
#include "toolkit/testca/PfxCommand.h"

namespace {

struct Subcommand {
    const char* name;
    int (*run)(const std::vector<std::string>& args);
};

constexpr Subcommand kSubcommands[] = {
    {"cert", pennaform::testca::runCertCommand},
    {"bundle", pennaform::testca::runBundleCommand},
    {"pfx", pennaform::testca::runPfxCommand},
    {"install", pennaform::testca::runInstallCommand},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2) {
        const std::string name = argv[1];
        for (const Subcommand& subcommand : kSubcommands) {
            if (name == subcommand.name) {
                return subcommand.run(std::vector<std::string>(argv + 2, argv + argc));
            }
        }
    }
    std::cerr << "usage: pennaform-testca cert|bundle|pfx|install [OPTION...] (see the README)\n";
    return 2;
}
