// The weak-key screening of a 4096-bit key beside the generation of one, on
// the POSIX key containers. Target: screening under 1% of generation.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "enrol/KeyScreening.h"
#include "platform/PlatformFactory.h"
#include "platform/ProviderNames.h"

namespace pennaform {
namespace {

constexpr std::uint32_t kBits = 4096;

// Keys: a container in a temporary home, made once.
struct Keys {
    Keys() {
        std::string pattern = (std::filesystem::temp_directory_path() / "bench-enrol-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        folder = pattern;
        platform = platform::makePlatform(platform::StateHome(folder + "/home"));
        container = std::move(
            *platform->keys()->createContainer({"bench", std::string(platform::providerNames::kAes),
                                                platform::providerTypes::kRsaAes}));
    }
    ~Keys() {
        container.reset();
        platform.reset();
        std::filesystem::remove_all(folder);
    }
    std::string folder;
    std::unique_ptr<platform::Platform> platform;
    std::unique_ptr<platform::KeyContainer> container;
};

Keys& keys() {
    static Keys made;
    return made;
}

void BM_Generate4096(benchmark::State& state) {
    for (auto _ : state) {
        auto key = keys().container->generateKeyPair(platform::KeySpec::kKeyExchange, kBits,
                                                     platform::keyFlags::kExportable);
        if (!key) state.SkipWithError("generation failed");
    }
}
BENCHMARK(BM_Generate4096)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);

void BM_Screen4096(benchmark::State& state) {
    auto key = keys().container->generateKeyPair(platform::KeySpec::kKeyExchange, kBits,
                                                 platform::keyFlags::kExportable);
    auto blob = (*key)->exportPrivateKeyBlob();
    for (auto _ : state) {
        if (isWeakKeyBlob(blob->view())) state.SkipWithError("a backend key was weak");
    }
}
BENCHMARK(BM_Screen4096)->Unit(benchmark::kMicrosecond)->Repetitions(40);

}  // namespace
}  // namespace pennaform

BENCHMARK_MAIN();
