// generateWithConsent: makes a key pair in `container` as a user would who
// agrees to the one question a user-protected key's creation asks, through a
// scripted dialog host answering from `answersPath`; afterwards the platform
// has no dialog host again, so every later use of the key finds no one to ask.
#pragma once

#include <fstream>
#include <string>

#include "platform/Platform.h"
#include "ui/hosts/DialogHostFactory.h"

namespace pennaform::test {

inline bool generateWithConsent(platform::Platform& platform, platform::KeyContainer& container,
                                platform::KeySpec spec, std::uint32_t bits, std::uint32_t flags,
                                const std::string& answersPath) {
    std::ofstream(answersPath) << R"([{"dialog": "keyUse", "allow": true}])";
    ui::HostSetupProblem problem;
    platform.installDialogs(ui::makeDialogHost("scripted", answersPath, "", problem));
    const bool made = bool(container.generateKeyPair(spec, bits, flags));
    platform.installDialogs(nullptr);
    return made;
}

}  // namespace pennaform::test
