#include "engine/Engine.h"

#include <cstdio>
#include <vector>

#include "engine/CodePage.h"
#include "engine/ErrorTable.h"
#include "engine/platform/PlatformFactory.h"
#include "engine/platform/SystemMessages.h"

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
      ieProtectedMode_(config.untrustedCaller) {
    GetOSName();  // applies the system's provider defaults; the name is not kept
    homePath_ = platform_->os() != nullptr ? platform_->os()->homeFolder() : std::string();
}

Engine::~Engine() = default;

std::u16string Engine::GetErrorMsg() const {
    return toWide(ErrorText(errorCode_));
}

std::u16string Engine::GetCapiErrorMsg() const {
    if (capiError_ == 0) return toWide(ErrorText(codes::kSuccess));
    char number[16];
    std::snprintf(number, sizeof number, "(0x%08X)", unsigned(capiError_));
    std::string text(platform::systemMessageText(capiError_).value_or(""));
    return toWide(text + number);
}

std::u16string Engine::toWideText(const std::string& ansi) {
    return toWide(ansi);
}

bool Engine::refusedInProtectedMode() {
    if (!ieProtectedMode_) return false;
    errorCode_ = codes::kProtectedMode;
    return true;
}

std::int32_t Engine::SelectSignerINS(std::int32_t, std::int32_t, std::int32_t) {
    errorCode_ = codes::kNotSupported;
    return errorCode_;
}

}  // namespace pennaform
