// The demo's signer steps: a signer chosen by filter from the personal store
// and from a PFX file, saved to the signer port, and restored by a second
// `pennaform` process with no dialog. The port's block lives in a runtime
// folder of the demo's own in memory, removed when the area ends.
#include "cli/demo/DemoAreas.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/CodePage.h"

namespace pennaform::cli {
namespace {

std::string contentOf(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// PrivateRuntime: a runtime folder of the demo's own under /dev/shm, in
// place of the user's for the life of the object, removed with it.
class PrivateRuntime {
public:
    PrivateRuntime() {
        std::string pattern = "/dev/shm/pennaform-demo-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) return;
        path_ = pattern;
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) previous_ = old;
        setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~PrivateRuntime() {
        if (path_.empty()) return;
        if (previous_) {
            setenv("XDG_RUNTIME_DIR", previous_->c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    PrivateRuntime(const PrivateRuntime&) = delete;
    PrivateRuntime& operator=(const PrivateRuntime&) = delete;

private:
    std::string path_;
    std::optional<std::string> previous_;
};

}  // namespace

void demoSignerSelection(DemoContext& demo) {
    DemoRun& run = demo.run;
    const std::string folder = demo.home + "/certificates";
    const std::u16string filter = u"S_C=TW,S_O=Example Bank,S_OU=Retail,S_CN=Wang";
    PrivateRuntime runtime;

    run.call("choose the signer from the personal store by filter", "SelectSigner",
             {filter, std::int32_t(0x100), std::int32_t(0)}, "0", 0);
    run.show("the signer's subject", "GetCertSubject", {}, {0});
    run.call("a signer of the store has no PFX file", "GetSignerPfxFilePath", {}, "", 0);

    const bool pfxMade =
        runProgram({testCaProgram(), "pfx", "--out", folder + "/wang.p12", "--cert",
                    folder + "/wang.der", "--key", folder + "/wang.key", "--password", "demo1234"});
    run.check("the test CA wrote wang.p12 with the password demo1234", pfxMade);
    run.call("choose the signer from the PFX file and keep it loaded (0x1200)", "SelectSignerEx",
             {filter, toWide(folder), std::u16string(u"wang.p12"), std::u16string(u"demo1234"),
              std::u16string(), std::int32_t(0x1200), std::int32_t(0)},
             "0", 0);
    run.call("its file name", "GetSignerPfxFileName", {}, "wang.p12", 0);

    run.call("choose from the store again and save the signer to the port", "SelectSignerEx2",
             {filter, std::u16string(), std::u16string(), std::int32_t(0), std::u16string(),
              std::int32_t(0x100), std::int32_t(0)},
             "0", 0);
    const std::string finger = toAnsi(demo.engine.GetCertFinger());

    // A second process asks for nobody with dwPort 1 and answers no dialog.
    const std::string calls = demo.home + "/restore.jsonl";
    std::ofstream(calls)
        << R"({"method":"SelectSignerEx2","args":["S_CN=Nobody","","",1,"",264,0]})"
        << "\n"
        << R"({"method":"GetCertFinger","args":[]})"
        << "\n";
    std::ofstream(demo.home + "/answers.json") << "[]";
    const bool ran = runProgram({siblingProgram("cli/pennaform", "pennaform"), "--home", demo.home,
                                 "--dialogs", "scripted", "--answers", demo.home + "/answers.json",
                                 "--transcript", demo.home + "/transcript.jsonl", "session"},
                                calls, demo.home + "/restored.jsonl");
    std::istringstream answers(contentOf(demo.home + "/restored.jsonl"));
    std::vector<nlohmann::json> lines;
    for (std::string line; std::getline(answers, line);) {
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    }
    const bool restored = ran && lines.size() == 2 && lines[0].value("errorCode", -1) == 0 &&
                          lines[1].value("result", std::string()) == finger;
    run.check("a second pennaform process restores the signer " + finger + " from the port",
              restored);
    run.check("and showed no dialog (its transcript is empty)",
              ran && contentOf(demo.home + "/transcript.jsonl").empty());
}

}  // namespace pennaform::cli
