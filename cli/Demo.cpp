#include "cli/Demo.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/DemoRun.h"
#include "cli/DemoStore.h"
#include "platform/CodePage.h"

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
    run.call("the port constant", "GetPortEx", {}, "65537", 0);
    run.call("message of a fresh engine", "GetErrorMsg", {}, "成功(0)", 0);
    run.call("platform message of a fresh engine", "GetCapiErrorMsg", {}, "成功(0)", 0);
    run.call("the retired export", "_SelectSignerINS@12", {1, 2, 3}, "5004", 5004);
    run.call("its message, read back", "GetErrorMsg", {}, "不支援的功能(5004)", 5004);
    run.call("read again: readers change nothing", "GetErrorCode", {}, "5004", 5004);
    run.call("the platform error was left alone", "GetCapiErrorMsg", {}, "成功(0)", 5004);

    run.call("the component's version", "GetVersion", {}, "4.2.3.0", 0);
    run.show("this system", "GetOSName", {}, {0});
    run.show("the user's home folder", "GetUserHomePath", {}, {0});
    // 5001: a machine whose only interface is the loopback one has none to show.
    run.show("the network adapters' addresses", "GetMacAddress", {}, {0, 5001});
    const std::u16string greeting = u"Software\\QUVO\\Pennaform\\Demo\\Greeting";
    const std::u16string count = u"Software\\QUVO\\Pennaform\\Demo\\Count";
    run.call("store a text in the user's registry", "RegWriteHKCUStr",
             {greeting, std::u16string(u"你好, Pennaform")}, "0", 0);
    run.call("read it back (names ignore letter case)", "RegReadHKCU",
             {std::u16string(u"software\\quvo\\pennaform\\demo\\GREETING")}, "你好, Pennaform", 0);
    run.call("store 4294967295 as a DWORD", "RegWriteHKCUInt", {count, std::int32_t(-1)}, "0", 0);
    run.call("a DWORD reads in signed decimal", "RegReadHKCU", {count}, "-1", 0);
    run.call("an address needs a backslash", "RegReadHKCU", {std::u16string(u"Greeting")}, "",
             5005);
    run.call("choose a provider by its exact name", "SetProviderName",
             {std::u16string(u"Microsoft Strong Cryptographic Provider")}, "0", 0);
    run.call("letter case matters for provider names", "SetProviderName",
             {std::u16string(u"microsoft strong cryptographic provider")}, "5046", 5046);
    // Digests and symmetric encryption; the expected values are those of
    // md5sum, sha256sum and `openssl enc -des-ede3-cbc` on the same bytes.
    run.call("MD5 of a text in the code page", "Hash", {u"abc", 0x11},
             "900150983CD24FB0D6963F7D28E17F72", 0);
    const std::string file = home.path() + "/to-hash.txt";
    std::ofstream(file) << "Pennaform hashes this file.\n";
    run.call("SHA-256 of a file", "HashFile", {utf8ToUtf16(file), 3},
             "981FDD9011E7656A63D9C06B130C138CF3EF4F43A4BACFBF0FF59F4D8857603A", 0);
    const std::u16string key = u"0123456789abcdef23456789abcdef01456789abcdef0123";
    run.call("Triple DES of a UTF-16 text", "SymEncrypt", {u"憑證與金鑰 DES", key, 0, 0},
             "GSHTq8Z4ePXG1ivL8a+jDqLNMbBqWc0p", 0);
    run.call("and back", "SymDecrypt", {u"GSHTq8Z4ePXG1ivL8a+jDqLNMbBqWc0p", key, 0, 0},
             "憑證與金鑰 DES", 0);

    runStoreDemo(run, engine, home.path());

    int built = 0;
    for (const MethodSpec& method : kMethodTable)
        built += method.bound.known && !method.isExportOnly();
    run.note(std::to_string(built) + " of 65 operations are built; the others answer 5004");
    out << (run.failures() == 0
                ? "demo finished: every step as expected\n"
                : "demo finished with " + std::to_string(run.failures()) + " unexpected step(s)\n");
    return run.failures() == 0 ? 0 : 1;
}

}  // namespace pennaform::cli
