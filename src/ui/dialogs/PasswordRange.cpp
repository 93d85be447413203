#include "ui/dialogs/PasswordRange.h"

#include <utility>

#include "ui/dialogs/DialogTexts.h"

namespace pennaform::ui {

PasswordRange PasswordRange::normalised(std::int32_t minimum, std::int32_t maximum) {
    if (minimum > maximum) std::swap(minimum, maximum);
    if (minimum <= 0) minimum = 0;
    if (maximum <= 0) maximum = 16;
    return PasswordRange(minimum, maximum);
}

bool PasswordRange::acceptsAnyLength(std::size_t length) const {
    return length >= std::size_t(minimum_);
}

bool PasswordRange::acceptsNonEmpty(std::size_t length) const {
    return length >= 1 && acceptsAnyLength(length);
}

bool PasswordRange::locksSuppliedPassword(std::size_t length) const {
    return acceptsNonEmpty(length);
}

std::string PasswordRange::ruleLabel() const {
    std::int32_t shownMinimum = minimum_ <= 0 ? 1 : minimum_;
    return uiText("請設定憑證密碼(英文或數字") + std::to_string(shownMinimum) + uiText("～") +
           std::to_string(maximum_) + uiText("碼)");
}

}  // namespace pennaform::ui
