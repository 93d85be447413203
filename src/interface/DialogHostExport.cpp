// pennaform_use_dialogs: a host program's choice of dialog host for the
// process-wide Engine.
#include "encoding/ErrorTable.h"
#include "interface/Guard.h"
#include "interface/ProcessEngine.h"
#include "pennaform/pennaform.h"
#include "ui/hosts/DialogHostFactory.h"

extern "C" PENNAFORM_API int32_t pennaform_use_dialogs(const char* kind, const char* answersPath,
                                                       const char* transcriptPath) {
    using namespace pennaform;
    if (kind == nullptr) return codes::kBadArgument;
    // The answer is a code, so a call that throws answers the guard's code.
    return guardedEngineCall(
        processEngine,
        [&](Engine& engine) -> std::int32_t {
            ui::HostSetupProblem problem;
            auto host = ui::makeDialogHost(kind, answersPath != nullptr ? answersPath : "",
                                           transcriptPath != nullptr ? transcriptPath : "",
                                           problem);
            if (!host) return problem.code;
            engine.platform().installDialogs(std::move(host));
            return codes::kSuccess;
        },
        [](std::int32_t code, bool) { return code; });
}
