// pennaform_use_dialogs: a host program's choice of dialog host for the
// process-wide Engine.
#include "interface/DialogHostChoice.h"
#include "interface/Guard.h"
#include "interface/ProcessEngine.h"
#include "pennaform/pennaform.h"

extern "C" PENNAFORM_API int32_t pennaform_use_dialogs(const char* kind, const char* answersPath,
                                                       const char* transcriptPath) {
    using namespace pennaform;
    // The answer is a code, so a call that throws answers the guard's code.
    return guardedEngineCall(
        processEngine,
        [&](Engine& engine) -> std::int32_t {
            return installNamedDialogHost(kind, answersPath, transcriptPath, [&](auto host) {
                engine.platform().installDialogs(std::move(host));
            });
        },
        [](std::int32_t code, bool) { return code; });
}
