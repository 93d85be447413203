// SetProviderName: the caller's choice of an installed provider.
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

namespace pennaform {

std::int32_t Engine::SetProviderName(std::u16string_view strProviderName) {
    errorCode_ = codes::kSuccess;
    capiError_ = 0;
    std::string name = toAnsi(beforeNul(strProviderName));
    if (name.empty()) {
        errorCode_ = codes::kBadArgument;
        return errorCode_;
    }
    if (refuseUntrustedCaller()) return errorCode_;
    enroller_.setProviderName(name);
    errorCode_ = enroller_.errorCode();
    capiError_ = enroller_.platformError();
    return errorCode_;
}

}  // namespace pennaform
