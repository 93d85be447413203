// keyUseQuestion: what every host asks before a user-protected key is used.
#pragma once

#include <string>

#include "platform/PlatformDialogs.h"

namespace pennaform::ui {

inline std::string keyUseQuestion(const platform::KeyUseRequest& request) {
    return "Allow the protected key " + request.containerName + " (" + request.providerName +
           ") to " + platform::keyUseName(request.use) + "?";
}

}  // namespace pennaform::ui
