#include "interface/CapiControl.h"

#include "interface/Dispatcher.h"

namespace pennaform {

HRESULT CapiControl::Invoke(int dispId, std::span<const Argument> args, Result& outResult) {
    const MethodSpec* method = Dispatcher::findDispId(dispId);
    if (method == nullptr) return kDispEMemberNotFound;
    if (args.size() != method->arguments().size()) return kDispEBadParamCount;
    if (!Dispatcher::argumentsFit(*method, args)) return kDispETypeMismatch;
    outResult = Dispatcher::call(engine_, *method, args);
    return kSOk;
}

}  // namespace pennaform
