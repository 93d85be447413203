// CapiControl: the scriptable control object. Each control owns an Engine of
// its own, created and destroyed with it, so two controls never share state
// with each other or with the flat exports.
#pragma once

#include <cstdint>
#include <span>

#include "engine/Engine.h"
#include "interface/Values.h"

namespace pennaform {

using HRESULT = std::int32_t;
inline constexpr HRESULT kSOk = 0;
inline constexpr HRESULT kDispEMemberNotFound = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT kDispEBadParamCount = static_cast<HRESULT>(0x8002000Eu);
inline constexpr HRESULT kDispETypeMismatch = static_cast<HRESULT>(0x80020005u);

class CapiControl {
public:
    explicit CapiControl(EngineConfig config = {}) : engine_(std::move(config)) {}

    // Invoke: calls the method of a dispatch id with its arguments in call
    // order and stores its result. Returns S_OK for every call that reaches
    // an operation, whatever the operation's own outcome (callers read the
    // error code afterwards); only a call that names no method or does not
    // fit its arguments is refused with a DISP_E code.
    HRESULT Invoke(int dispId, std::span<const Argument> args, Result& outResult);

private:
    Engine engine_;
};

}  // namespace pennaform
