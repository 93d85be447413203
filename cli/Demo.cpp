#include "cli/Demo.h"

#include <stdlib.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "interface/Dispatcher.h"

namespace pennaform::cli {
namespace {

// A temporary state home, removed with everything in it when the demo ends.
class TemporaryHome {
public:
    TemporaryHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pennaform-demo-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TemporaryHome() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class DemoRun {
public:
    DemoRun(Engine& engine, std::ostream& out) : engine_(engine), out_(out) {}

    // call: runs one method by name or decorated name, prints a progress line
    // and checks the result text and error code against what the step expects.
    void call(const std::string& what, std::string_view name, std::vector<Argument> args,
              const std::string& expected, std::int32_t expectedCode) {
        const MethodSpec* method = findCallable(name);
        Result result = Dispatcher::call(engine_, *method, args);
        std::string text = resultText(result);
        bool ok = text == expected && engine_.GetErrorCode() == expectedCode;
        failures_ += ok ? 0 : 1;
        out_ << "[" << ++step_ << "] " << what << ": " << name << " -> " << text
             << (ok ? "" : "   (unexpected; wanted " + expected + ")") << '\n';
    }
    void note(const std::string& text) { out_ << "[" << ++step_ << "] " << text << '\n'; }
    int failures() const { return failures_; }

private:
    Engine& engine_;
    std::ostream& out_;
    int step_ = 0;
    int failures_ = 0;
};

}  // namespace

int runDemo(std::ostream& out) {
    TemporaryHome home;
    if (home.path().empty()) {
        out << "demo: cannot create a temporary home\n";
        return 1;
    }
    Engine engine(EngineConfig{home.path()});
    DemoRun run(engine, out);
    run.note("fresh engine with its state home in " + home.path());
    run.call("the port constant", "GetPortEx", {}, "65537", 0);
    run.call("message of a fresh engine", "GetErrorMsg", {}, "成功(0)", 0);
    run.call("platform message of a fresh engine", "GetCapiErrorMsg", {}, "成功(0)", 0);
    run.call("the retired export", "_SelectSignerINS@12", {1, 2, 3}, "5004", 5004);
    run.call("its message, read back", "GetErrorMsg", {}, "不支援的功能(5004)", 5004);
    run.call("read again: readers change nothing", "GetErrorCode", {}, "5004", 5004);
    run.call("the platform error was left alone", "GetCapiErrorMsg", {}, "成功(0)", 5004);

    int built = 0;
    for (const MethodSpec& method : kMethodTable) built += method.bound.known && !method.isExportOnly();
    run.note(std::to_string(built) + " of 65 operations are built; the others answer 5004");
    out << (run.failures() == 0 ? "demo finished: every step as expected\n"
                                : "demo finished with " + std::to_string(run.failures()) + " unexpected step(s)\n");
    return run.failures() == 0 ? 0 : 1;
}

}  // namespace pennaform::cli
