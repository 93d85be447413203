// Fuzz target: PFX bytes through the platform's password change, from the
// password "fuzz" to "next". Whatever it rewrites must be a PFX file that
// opens with the new password only, and whose own change back succeeds
// (a bag written wrongly would stop it).
//
// The seeds are those of pkcs12_load (fuzz/corpus/pkcs12_repassword is a
// copy), made with the low iteration counts the fuzzing build accepts. The
// state lives under /dev/shm (or TMPDIR).
#include <cstdint>
#include <string>

#include "FuzzHome.h"
#include "engine/Engine.h"

using namespace pennaform;
using fuzz::FuzzHome;
using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzHome home;
    platform::Pkcs12& pkcs12 = *home.engine().platform().pkcs12();
    auto rewritten = pkcs12.changePassword(platform::ByteView(data, size), u"fuzz", u"next");
    if (!rewritten) return 0;
    require(pkcs12.isPfx(*rewritten));
    require(pkcs12.verifyPassword(*rewritten, u"next"));
    require(!pkcs12.verifyPassword(*rewritten, u"fuzz"));
    auto back = pkcs12.changePassword(*rewritten, u"next", u"fuzz");
    require(back.ok());
    return 0;
}
