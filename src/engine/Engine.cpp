#include "engine/Engine.h"

#include <cstdio>
#include <vector>

#include "encoding/ErrorTable.h"
#include "platform/CodePage.h"
#include "platform/PlatformFactory.h"
#include "platform/SystemMessages.h"

namespace pennaform {

namespace {

std::vector<platform::ProviderInfo> installedProviders(const platform::Platform& platform) {
    if (platform.keys() == nullptr) return {};
    return platform.keys()->providers();
}

}  // namespace

Engine::Engine(EngineConfig config)
    : stateHome_(std::move(config.homeOverride)),
      platform_(platform::makePlatform(stateHome_)),
      enroller_(installedProviders(*platform_)),
      untrustedCaller_(config.untrustedCaller) {
    signer_.portScope = std::move(config.signerPortScope);
    GetOSName();  // applies the system's provider defaults; the name is not kept
    homePath_ = platform_->os() != nullptr ? platform_->os()->homeFolder() : std::string();
}

Engine::~Engine() = default;

std::u16string Engine::toWideText(const std::string& ansi) {
    return toWide(ansi);
}

bool Engine::refuseUntrustedCaller() {
    if (!untrustedCaller_) return false;
    errorCode_ = codes::kProtectedMode;
    return true;
}

}  // namespace pennaform
