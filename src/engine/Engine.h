// Engine: the object that carries out every operation of the API, and the
// error model those operations share: one component error code with its fixed
// message, and the platform error number kept beside it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/platform/Platform.h"
#include "engine/platform/StateHome.h"

namespace pennaform {

// EngineConfig: what the host that creates an Engine decides for it.
struct EngineConfig {
    // homeOverride: the per-user state folder, in place of the environment's.
    std::optional<std::string> homeOverride;
};

class Engine {
public:
    explicit Engine(EngineConfig config = {});
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine();

    // Error readers: they change nothing, so a caller can read the codes and
    // messages of the last operation in any order, any number of times.
    std::int32_t GetErrorCode() const { return errorCode_; }
    std::int32_t GetCapiErrorCode() const { return static_cast<std::int32_t>(capiError_); }
    // GetErrorMsg: the message of the error code in the process code page,
    // as UTF-16.
    std::u16string GetErrorMsg() const;
    // GetCapiErrorMsg: "成功(0)" when the platform error is 0; otherwise the
    // system's English text of the number (with its line break) followed by
    // "(0x%08X)", or the bracketed number alone when the text is unknown.
    std::u16string GetCapiErrorMsg() const;
    // GetPortEx: the constant 65537; touches no state.
    std::int32_t GetPortEx() const { return 65537; }

    // SelectSignerINS: the retired export; ignores its arguments, answers
    // 5004 and leaves the platform error alone.
    std::int32_t SelectSignerINS(std::int32_t, std::int32_t, std::int32_t);

    // The operations of each subsystem are declared in its section below and
    // defined in the subsystem's own source files. Each returns its result
    // and leaves its outcome in the error fields.

    // --- Environment facts ---

    // --- Registry values ---

    // --- Provider selection ---

    // --- Digests ---

    // --- Symmetric encryption ---

    // --- PFX files ---

    // --- Personal store ---

    // The error fields as the operations' steps set them: an operation clears
    // what it owns on entry and sets the code (and, for a failing platform
    // call, the platform's number) of the step that failed.
    void setErrorCode(std::int32_t code) { errorCode_ = code; }
    void setCapiError(std::uint32_t number) { capiError_ = number; }

    const platform::StateHome& stateHome() const { return stateHome_; }
    platform::Platform& platform() { return *platform_; }

private:
    std::int32_t errorCode_ = 0;
    std::uint32_t capiError_ = 0;
    platform::StateHome stateHome_;
    std::unique_ptr<platform::Platform> platform_;
};

}  // namespace pennaform
