// The demo's symmetric encryption; the cipher text is that of
// `openssl enc -des-ede3-cbc` on the same bytes.
#include "cli/demo/DemoAreas.h"

namespace pennaform::cli {

void demoSymmetricEncryption(DemoContext& demo) {
    DemoRun& run = demo.run;
    const std::u16string key = u"0123456789abcdef23456789abcdef01456789abcdef0123";
    run.call("Triple DES of a UTF-16 text", "SymEncrypt", {u"憑證與金鑰 DES", key, 0, 0},
             "GSHTq8Z4ePXG1ivL8a+jDqLNMbBqWc0p", 0);
    run.call("and back", "SymDecrypt", {u"GSHTq8Z4ePXG1ivL8a+jDqLNMbBqWc0p", key, 0, 0},
             "憑證與金鑰 DES", 0);
}

}  // namespace pennaform::cli
