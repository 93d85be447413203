// makeDialogHost: the dialog host a host program or the command asks for by
// name: "headless", "terminal", "scripted" or "gtk" (windows of the desktop
// module, loaded only then).
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
// `transcriptPath` (created or emptied now; none when empty); so does the
// gtk host when given answers, showing each dialog with the script's actions
// landing on its widgets. The other hosts take neither. The gtk host answers
// as the headless one when no display can be opened. On failure null, with `outProblem` set: 5005
// for an unknown kind or paths that do not fit it, 1002 for an answers file that cannot be read,
// 5045 for one that is not in the answers format, 1003 for a transcript that cannot be created.
std::unique_ptr<platform::PlatformDialogs> makeDialogHost(std::string_view kind,
                                                          const std::string& answersPath,
                                                          const std::string& transcriptPath,
                                                          HostSetupProblem& outProblem);

}  // namespace pennaform::ui
