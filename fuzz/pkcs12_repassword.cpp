// Fuzz target: PFX bytes through the platform's password change, from the
// password "fuzz" to "next". Whatever it rewrites must be a PFX file that
// opens with the new password only, and whose own change back succeeds
// (a bag written wrongly would stop it).
//
// The seeds are those of pkcs12_load (fuzz/corpus/pkcs12_repassword is a
// copy), made with the low iteration counts the fuzzing build accepts. The
// state lives under /dev/shm (or TMPDIR).
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/Engine.h"

using namespace pennaform;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

Engine& fuzzEngine() {
    static std::unique_ptr<Engine> engine = [] {
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string pattern = (base / "pennaform-fuzz-XXXXXX").string();
        require(mkdtemp(pattern.data()) != nullptr);
        return std::make_unique<Engine>(EngineConfig{pattern + "/home"});
    }();
    return *engine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::Pkcs12& pkcs12 = *fuzzEngine().platform().pkcs12();
    auto rewritten = pkcs12.changePassword(platform::ByteView(data, size), u"fuzz", u"next");
    if (!rewritten) return 0;
    require(pkcs12.isPfx(*rewritten));
    require(pkcs12.verifyPassword(*rewritten, u"next"));
    require(!pkcs12.verifyPassword(*rewritten, u"fuzz"));
    auto back = pkcs12.changePassword(*rewritten, u"next", u"fuzz");
    require(back.ok());
    return 0;
}
