// The demo's digests; the expected values are those of md5sum and sha256sum
// on the same bytes.
#include <fstream>

#include "cli/demo/DemoAreas.h"
#include "platform/CodePage.h"

namespace pennaform::cli {

void demoDigests(DemoContext& demo) {
    DemoRun& run = demo.run;
    run.call("MD5 of a text in the code page", "Hash", {u"abc", 0x11},
             "900150983CD24FB0D6963F7D28E17F72", 0);
    const std::string file = demo.home + "/to-hash.txt";
    std::ofstream(file) << "Pennaform hashes this file.\n";
    run.call("SHA-256 of a file", "HashFile", {utf8ToUtf16(file), 3},
             "981FDD9011E7656A63D9C06B130C138CF3EF4F43A4BACFBF0FF59F4D8857603A", 0);
}

}  // namespace pennaform::cli
