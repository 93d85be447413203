// The Engine's PFX settings: the password-length range of the dialogs and
// the name of exported files.
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

namespace pennaform {

namespace {
constexpr std::int32_t kDefaultMaxPasswordLength = 16;
}  // namespace

std::int32_t Engine::PresetPasswdLengthRange(std::int32_t min, std::int32_t max) {
    setErrorCode(codes::kSuccess);
    setCapiError(0);
    if (min > max) std::swap(min, max);
    minPasswordLength_ = min < 1 ? 0 : min;
    maxPasswordLength_ = max <= 0 ? kDefaultMaxPasswordLength : max;
    return codes::kSuccess;
}

std::int32_t Engine::SetDefaultPfxFileName(std::u16string_view strPrefix) {
    setErrorCode(codes::kSuccess);
    defaultPfxPrefix_ = toAnsi(strPrefix);
    return codes::kSuccess;
}

}  // namespace pennaform
