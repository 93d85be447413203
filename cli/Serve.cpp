#include "cli/Serve.h"

#include <ostream>

#include "bridge/BridgeService.h"
#include "ui/hosts/DialogHostFactory.h"

namespace pennaform::cli {

int runServe(const CommandLine& commandLine, std::ostream& out, std::ostream& err) {
    bridge::BridgeSettings settings;
    settings.homeOverride = commandLine.engineConfig.homeOverride;
    const std::vector<std::string>& words = commandLine.words;
    if (words.size() == 3 && words[1] == "--port") {
        std::optional<std::int32_t> port = parseLong(words[2]);
        if (!port || *port < 1 || *port > 65535) {
            err << "pennaform: --port takes a port number from 1 to 65535\n";
            return 2;
        }
        settings.port = static_cast<std::uint16_t>(*port);
    } else if (words.size() != 1) {
        err << "pennaform: serve takes only --port N (see pennaform --help)\n";
        return 2;
    }
    if (commandLine.engineConfig.untrustedCaller) {
        err << "pennaform: serve chooses protected mode by origin; --protected-mode does not "
               "apply\n";
        return 2;
    }
    // The host is made once now, so that a mistake in the options is
    // reported before serving; each connection then gets a host of its own.
    ui::HostSetupProblem problem;
    if (!ui::makeDialogHost(commandLine.dialogs, commandLine.answersPath,
                            commandLine.transcriptPath, problem)) {
        err << "pennaform: " << problem.message << '\n';
        return 2;
    }
    settings.makeDialogs = [commandLine] {
        ui::HostSetupProblem ignored;
        return ui::makeDialogHost(commandLine.dialogs, commandLine.answersPath,
                                  commandLine.transcriptPath, ignored);
    };
    platform::Outcome<std::unique_ptr<bridge::BridgeService>> service =
        bridge::BridgeService::start(std::move(settings));
    if (!service) {
        err << "pennaform: cannot listen on the loopback port (error " << service.error() << ")\n";
        return 1;
    }
    const std::uint16_t port = (*service)->port();
    out << "pennaform: serving ws://127.0.0.1:" << port << "/ and ws://[::1]:" << port << "/"
        << std::endl;
    (*service)->waitForSignal();
    return 0;
}

}  // namespace pennaform::cli
