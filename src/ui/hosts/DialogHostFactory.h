// makeDialogHost: the dialog host a host program or the command asks for by
// name: "headless", "terminal" or "scripted".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/PlatformDialogs.h"

namespace pennaform::ui {

// HostSetupProblem: why a host could not be made: the component's code for it
// and a one-line explanation (UTF-8).
struct HostSetupProblem {
    std::int32_t code = 0;
    std::string message;
};

// makeDialogHost: the host of `kind`. The scripted host reads its answers
// from `answersPath` now (required) and writes its transcript to
// `transcriptPath` (created or emptied now; none when empty); the other
// hosts take neither. On failure null, with `outProblem` set: 5005 for an
// unknown kind or paths that do not fit it, 1002 for an answers file that
// cannot be read, 5045 for one that is not in the answers format, 1003 for a
// transcript that cannot be created.
std::unique_ptr<platform::PlatformDialogs> makeDialogHost(std::string_view kind,
                                                          const std::string& answersPath,
                                                          const std::string& transcriptPath,
                                                          HostSetupProblem& outProblem);

}  // namespace pennaform::ui
