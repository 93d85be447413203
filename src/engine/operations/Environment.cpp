// Environment facts: component version, system name, adapter addresses and
// the home folder.
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "engine/SystemDescription.h"
#include "platform/CodePage.h"

namespace pennaform {

std::u16string Engine::GetVersion() {
    errorCode_ = codes::kSuccess;
    return toWide(PENNAFORM_FILE_VERSION);
}

std::u16string Engine::GetOSName() {
    return toWide(describeSystem(platform_->os(), enroller_));
}

std::u16string Engine::GetMacAddress() {
    errorCode_ = codes::kSuccess;
    capiError_ = 0;
    if (refuseUntrustedCaller()) return {};
    const platform::OsFacts* os = platform_->os();
    if (os == nullptr) {
        errorCode_ = codes::kGeneral;
        return {};
    }
    // Any failure of the adapter list is 5001, and the platform error stays 0.
    auto adapters = os->networkAdapters();
    if (!adapters) {
        errorCode_ = codes::kGeneral;
        return {};
    }
    return toWide(macAddressText(*adapters));
}

std::u16string Engine::GetUserHomePath() {
    errorCode_ = codes::kSuccess;
    capiError_ = 0;
    return toWide(homePath_);
}

}  // namespace pennaform
