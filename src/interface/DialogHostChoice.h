// The dialog host a host program names through the C API, for the process
// Engine (pennaform_use_dialogs) or one control's Engine.
#pragma once

#include <cstdint>

#include "encoding/ErrorTable.h"
#include "ui/hosts/DialogHostFactory.h"

namespace pennaform {

// installNamedDialogHost: makes the host `kind` names with its files (null
// paths read as none) and hands it to install(host); answers 0, or the code
// of the problem (5005 for a null kind) with nothing installed. Allocation
// failures throw: callers run it inside the guard.
template <typename Install>
std::int32_t installNamedDialogHost(const char* kind, const char* answersPath,
                                    const char* transcriptPath, Install&& install) {
    if (kind == nullptr) return codes::kBadArgument;
    ui::HostSetupProblem problem;
    auto host = ui::makeDialogHost(kind, answersPath != nullptr ? answersPath : "",
                                   transcriptPath != nullptr ? transcriptPath : "", problem);
    if (!host) return problem.code;
    install(std::move(host));
    return codes::kSuccess;
}

}  // namespace pennaform
