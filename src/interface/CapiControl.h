// CapiControl: the scriptable control object. Each control owns an Engine of
// its own, created and destroyed with it, so two controls never share state
// with each other or with the flat exports.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "engine/Engine.h"
#include "interface/Values.h"

namespace pennaform {

using HRESULT = std::int32_t;
inline constexpr HRESULT kSOk = 0;
inline constexpr HRESULT kDispEMemberNotFound = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT kDispEBadParamCount = static_cast<HRESULT>(0x8002000Eu);
inline constexpr HRESULT kDispETypeMismatch = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT kEOutOfMemory = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT kEFail = static_cast<HRESULT>(0x80004005u);

class CapiControl {
public:
    explicit CapiControl(EngineConfig config = {}) : engine_(std::move(config)) {}

    // Invoke: calls the method of a dispatch id with its arguments in call
    // order and stores its result. Returns S_OK for every call that reaches
    // an operation, whatever the operation's own outcome (callers read the
    // error code afterwards); only a call that names no method or does not
    // fit its arguments is refused with a DISP_E code. Nothing throws out of
    // it: a call that throws answers E_OUTOFMEMORY when memory ran out (E_FAIL
    // for any other exception) with the code on the control's Engine, and
    // leaves outResult as it was (see Guard.h).
    HRESULT Invoke(int dispId, std::span<const Argument> args, Result& outResult) noexcept;

    // useDialogs: makes `host` the dialog host of this control's Engine (the
    // headless one until then); the control owns it.
    void useDialogs(std::unique_ptr<platform::PlatformDialogs> host) noexcept {
        engine_.platform().installDialogs(std::move(host));
    }

private:
    Engine engine_;
};

}  // namespace pennaform
