// Fuzz target: PFX bytes to loadPfx (through loadPfxBytes, the same steps
// from the format check on), once with the password "fuzz" and once with
// the empty one. Whatever loads must hold a store whose key containers
// closePfx removes again.
//
// The seeds in fuzz/corpus/pkcs12_load were made with `openssl pkcs12
// -export -noiter -nomaciter` from a 512-bit RSA key (modern, -legacy, the
// empty password, and unencrypted bags), so that the fuzzing build's low
// iteration cap lets them load. The state lives under /dev/shm (or TMPDIR).
#include <cstdint>
#include <string>

#include "FuzzHome.h"
#include "engine/Engine.h"
#include "pfx/PfxStore.h"
#include "platform/CodePage.h"

using namespace pennaform;
using fuzz::FuzzHome;
using fuzz::require;

namespace {

void loadAndClose(platform::Platform& platform, platform::ByteView bytes, const char* password) {
    PfxStore holder(platform);
    std::int32_t code = loadPfxBytes(holder, bytes, password, pfxLoadFlags::kExportableKeys);
    require(code == 0 || code == 5207 || code == 5208);
    require((code == 0) == (holder.store() != nullptr));
    if (code != 0) return;

    std::vector<platform::KeyProvInfo> bindings;
    auto certificates = holder.store()->certificates();
    require(certificates.ok());
    for (const platform::StoredCertificate& certificate : *certificates) {
        KeyProvInfoReading reading = keyProvInfo(*holder.store(), certificate.id);
        if (reading.info) bindings.push_back(*reading.info);
    }
    closePfx(holder);
    for (const platform::KeyProvInfo& binding : bindings) {
        auto left = platform.keys()->openContainer(
            {toAnsi(binding.containerName), toAnsi(binding.providerName), binding.providerType});
        require(!left.ok());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzHome home;
    platform::ByteView bytes(data, size);
    loadAndClose(home.engine().platform(), bytes, "fuzz");
    loadAndClose(home.engine().platform(), bytes, "");
    return 0;
}
