// The one guard of the C boundary: every door of the library (the flat
// exports, pennaform_use_dialogs, the control's Invoke) runs its work through
// it, so that no exception ever crosses into the caller.
//
// What a guarded call answers when its work throws, the same at every door:
// - std::bad_alloc is memory running out: code 5003 (codes::kOutOfMemory).
//   Any other exception would be a fault (the component's failures are
//   values) and is answered with 5001 (codes::kGeneral) rather than left to
//   end the host process; the dispatcher answers an operation's exceptions
//   through this guard too.
// - When the call had reached its Engine, that Engine's error code becomes
//   the code, so GetErrorCode reads it afterwards, and the call answers its
//   empty result: a null BSTR or a long 0 at the flat exports, the code
//   itself at a door that answers a code (pennaform_use_dialogs), and
//   E_OUTOFMEMORY (E_FAIL for 5001) at Invoke.
// - When the Engine itself could not be built (only the process Engine of the
//   flat exports is built lazily, see ProcessEngine.h), there is nothing to
//   keep the code in: the call answers its empty result, GetErrorCode answers
//   the code (5003), and the next call tries to build the Engine again.
#pragma once

#include <cstdint>
#include <new>
#include <type_traits>

#include "encoding/ErrorTable.h"
#include "engine/Engine.h"

namespace pennaform {

// guarded: the result of body(); when body throws anything at all, the result
// of onFailure(code) with the code above (5003 or 5001). onFailure must not
// throw itself.
template <typename Body, typename OnFailure>
auto guarded(Body&& body, OnFailure&& onFailure) noexcept -> std::invoke_result_t<Body&> {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return onFailure(codes::kOutOfMemory);
    } catch (...) {
        return onFailure(codes::kGeneral);
    }
}

// guardedEngineCall: body(engine()) under the guard. When anything throws
// after engine() gave the Engine, the code is set on that Engine; then the
// answer is onFailure(code, engineReached), engineReached being false when
// engine() itself threw (the Engine could not be built).
template <typename EngineSource, typename Body, typename OnFailure>
auto guardedEngineCall(EngineSource&& engine, Body&& body, OnFailure&& onFailure) noexcept
    -> std::invoke_result_t<Body&, Engine&> {
    using Return = std::invoke_result_t<Body&, Engine&>;
    Engine* reached = nullptr;
    return guarded(
        [&]() -> Return {
            reached = &engine();
            return body(*reached);
        },
        [&](std::int32_t code) -> Return {
            if (reached != nullptr) reached->setErrorCode(code);
            return onFailure(code, reached != nullptr);
        });
}

}  // namespace pennaform
