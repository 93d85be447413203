// The error model: the messages of the component's code and of the platform
// error, and the retired export.
#include <cstdio>

#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "platform/SystemMessages.h"

namespace pennaform {

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

std::int32_t Engine::SelectSignerINS(std::int32_t, std::int32_t, std::int32_t) {
    errorCode_ = codes::kNotSupported;
    return errorCode_;
}

}  // namespace pennaform
