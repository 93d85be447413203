#include "cli/Demo.h"

#include <stdlib.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "cli/DemoRun.h"
#include "cli/demo/DemoAreas.h"

namespace pennaform::cli {
namespace {

// A temporary state home, removed with everything in it when the demo ends.
class TemporaryHome {
public:
    TemporaryHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pennaform-demo-XXXXXX").string();
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
    DemoContext demo{run, engine, home.path()};
    for (DemoArea area : kDemoAreas) area(demo);

    int built = 0;
    for (const MethodSpec& method : kMethodTable)
        built += method.bound.known && !method.isExportOnly();
    run.note(built == 65
                 ? "all 65 operations are built"
                 : std::to_string(built) + " of 65 operations are built; the others answer 5004");
    out << (run.failures() == 0
                ? "demo finished: every step as expected\n"
                : "demo finished with " + std::to_string(run.failures()) + " unexpected step(s)\n");
    return run.failures() == 0 ? 0 : 1;
}

}  // namespace pennaform::cli
