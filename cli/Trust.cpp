#include "cli/Trust.h"

#include <ostream>

#include "bridge/TrustedOrigins.h"
#include "platform/PlatformError.h"
#include "platform/PlatformFactory.h"

namespace pennaform::cli {

int runTrust(const CommandLine& commandLine, std::ostream& out, std::ostream& err) {
    const std::vector<std::string>& words = commandLine.words;
    const bool listing = words.size() == 2 && words[1] == "list";
    const bool changing = words.size() == 3 && (words[1] == "add" || words[1] == "remove");
    if (!listing && !changing) {
        err << "pennaform: trust takes add ORIGIN, remove ORIGIN or list (see pennaform "
               "--help)\n";
        return 2;
    }
    auto platform =
        platform::makePlatform(platform::StateHome(commandLine.engineConfig.homeOverride));
    if (platform->registry() == nullptr) {
        err << "pennaform: no registry to keep the trusted origins in\n";
        return 1;
    }
    bridge::TrustedOrigins origins(*platform->registry());
    if (listing) {
        platform::Outcome<std::vector<std::string>> list = origins.list();
        if (!list) {
            err << "pennaform: the trusted origins cannot be read (error " << list.error() << ")\n";
            return 1;
        }
        for (const std::string& origin : *list) out << origin << '\n';
        return 0;
    }
    if (!bridge::normalizedOrigin(words[2])) {
        err << "pennaform: not a web origin (scheme://host[:port]): " << words[2] << '\n';
        return 2;
    }
    platform::Status done = words[1] == "add" ? origins.add(words[2]) : origins.remove(words[2]);
    if (!done) {
        if (done.error() == platform::errors::kErrorFileNotFound) {
            err << "pennaform: not a trusted origin: " << words[2] << '\n';
        } else {
            err << "pennaform: the trusted origins cannot be changed (error " << done.error()
                << ")\n";
        }
        return 1;
    }
    return 0;
}

}  // namespace pennaform::cli
