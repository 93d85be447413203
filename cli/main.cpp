// pennaform: the component's command. One-shot calls by method name or
// decorated export name, a JSON-lines session on one Engine, and the demo.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Demo.h"
#include "cli/Help.h"
#include "cli/Serve.h"
#include "cli/Session.h"
#include "cli/Trust.h"
#include "interface/Dispatcher.h"
#include "platform/CodePage.h"
#include "ui/hosts/DialogHostFactory.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int usage(const std::string& message) {
    std::cerr << "pennaform: " << message << " (see pennaform --help)\n";
    return kExitUsage;
}

// runHelp: `help` or `--help` alone prints the usage, `help METHOD` the
// method's arguments.
int runHelp(const std::vector<std::string>& words) {
    if (words.size() == 1) {
        std::cout << pennaform::cli::usageText();
        return 0;
    }
    if (words.size() != 2) return usage("help takes at most one method name");
    std::optional<std::string> text = pennaform::cli::methodHelp(words[1]);
    if (!text) return usage("unknown method " + words[1]);
    std::cout << *text;
    return 0;
}

// installDialogHost: puts the dialog host that the options name into the
// engine; false, after reporting why, when it cannot be made.
bool installDialogHost(const pennaform::cli::CommandLine& commandLine, pennaform::Engine& engine) {
    using namespace pennaform;
    ui::HostSetupProblem problem;
    auto host = ui::makeDialogHost(commandLine.dialogs, commandLine.answersPath,
                                   commandLine.transcriptPath, problem);
    if (!host) {
        usage(problem.message);
        return false;
    }
    engine.platform().installDialogs(std::move(host));
    return true;
}

int runOneCall(const pennaform::cli::CommandLine& commandLine) {
    using namespace pennaform;
    const std::string& name = commandLine.words.front();
    const MethodSpec* method = cli::findCallable(name);
    if (method == nullptr) return usage("unknown method " + name);
    std::vector<std::string> words(commandLine.words.begin() + 1, commandLine.words.end());
    std::vector<Argument> arguments;
    if (auto error = cli::toArguments(*method, words, std::cin, arguments)) {
        return usage(error->message);
    }

    Engine engine(commandLine.engineConfig);
    if (!installDialogHost(commandLine, engine)) return kExitUsage;
    Result result = Dispatcher::call(engine, *method, arguments);
    std::cout << cli::resultText(result) << '\n';
    if (engine.GetErrorCode() != 0) {
        std::cerr << "error " << engine.GetErrorCode() << ": " << utf16ToUtf8(engine.GetErrorMsg())
                  << '\n';
        return kExitFailure;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace pennaform;
    // Standard input is read through its own buffer rather than a character
    // at a time through stdio: a session line may be 64 MiB long.
    std::ios::sync_with_stdio(false);
    cli::CommandLine commandLine;
    if (auto error = cli::parseCommandLine(argc, argv, commandLine)) return usage(error->message);
    const std::string& first = commandLine.words.front();
    if (first == "demo") return cli::runDemo(std::cout);
    if (first == "help" || first == "--help") return runHelp(commandLine.words);
    if (first == "--version") {
        if (commandLine.words.size() != 1) return usage("--version takes no argument");
        std::cout << cli::versionText();
        return 0;
    }
    if (first == "serve") return cli::runServe(commandLine, std::cout, std::cerr);
    if (first == "trust") return cli::runTrust(commandLine, std::cout, std::cerr);
    if (first == "session") {
        Engine engine(commandLine.engineConfig);
        if (!installDialogHost(commandLine, engine)) return kExitUsage;
        return cli::runSession(engine, std::cin, std::cout);
    }
    return runOneCall(commandLine);
}
