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
    // untrustedCaller: the Engine serves a caller it must not trust (a page
    // in a protected-mode browser); the gated operations then refuse with 1500.
    bool untrustedCaller = false;
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

    // Hash: the MD5, SHA-1, SHA-256 or SHA-512 digest (low three bits of
    // dwFlags: 1, 3, 4, else SHA-1) of the text's UTF-16LE code units, or
    // with 0x10 of its bytes in the process code page, as upper-case hex.
    // Empty on failure: 1500 protected mode, 5005 empty text.
    std::u16string Hash(std::u16string_view strPlainText, std::int32_t dwFlags);
    // HashFile: the digest the flags choose of the named file's bytes, read
    // in pieces; an empty name asks the user through the platform's file
    // chooser. Empty on failure: 1500, 5070 no file chosen, 5902 no such
    // path, 1002 the file cannot be read or is empty.
    std::u16string HashFile(std::u16string_view strFileName, std::int32_t dwFlags);

    // --- Symmetric encryption ---

    // SymEncrypt: the text (UTF-16LE, or with 0x800 in the process code
    // page) encrypted with the hex key under iAlgorithm (0: Triple DES with a
    // 16- or 24-byte key; 1: DES with an 8-byte key), CBC with a zero IV and
    // PKCS#5 padding, as Base64. Empty on failure: 5005 empty text or bad key
    // text, 1500, 9001 algorithm, 9003 key length, 9004 the cipher failed
    // (platform error kept).
    std::u16string SymEncrypt(std::u16string_view strPlainText, std::u16string_view strPasswdHex,
                              std::int32_t iAlgorithm, std::int32_t dwFlags);
    // SymDecrypt: the Base64 cipher text decrypted with the hex key, read as
    // UTF-16LE (or with 0x800 as process code page text) up to its first
    // zero. A last block without valid padding is returned as it decrypts.
    // Empty on failure: 5005, 9002 not Base64, 1500, 9001, 9003, 9005 the
    // cipher failed (platform error kept).
    std::u16string SymDecrypt(std::u16string_view strCipher, std::u16string_view strPasswdHex,
                              std::int32_t iAlgorithm, std::int32_t dwFlags);

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
    // refusedInProtectedMode: the entry gate of the operations an untrusted
    // caller may not use: true, with 1500 set, when the Engine serves one.
    bool refusedInProtectedMode();

    std::int32_t errorCode_ = 0;
    std::uint32_t capiError_ = 0;
    bool ieProtectedMode_ = false;
    platform::StateHome stateHome_;
    std::unique_ptr<platform::Platform> platform_;
};

}  // namespace pennaform
