#include "interface/CapiControl.h"

#include "interface/Dispatcher.h"
#include "interface/Guard.h"

namespace pennaform {

HRESULT CapiControl::Invoke(int dispId, std::span<const Argument> args,
                            Result& outResult) noexcept {
    return guardedEngineCall([this]() -> Engine& { return engine_; },
                             [&](Engine& engine) -> HRESULT {
                                 const MethodSpec* method = Dispatcher::findDispId(dispId);
                                 if (method == nullptr) return kDispEMemberNotFound;
                                 if (args.size() != method->arguments().size())
                                     return kDispEBadParamCount;
                                 if (!Dispatcher::argumentsFit(*method, args))
                                     return kDispETypeMismatch;
                                 outResult = Dispatcher::call(engine, *method, args);
                                 return kSOk;
                             },
                             [](std::int32_t code, bool) {
                                 return code == codes::kOutOfMemory ? kEOutOfMemory : kEFail;
                             });
}

}  // namespace pennaform
