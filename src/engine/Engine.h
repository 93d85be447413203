// Engine: the object that carries out every operation of the API, and the
// error model those operations share: one component error code with its fixed
// message, and the platform error number kept beside it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/StateHome.h"
#include "enrol/Enroller.h"
#include "certificates/PersonalStoreList.h"

namespace pennaform {

class CertWrapper;

// EngineConfig: what the host that creates an Engine decides for it.
struct EngineConfig {
    // homeOverride: the per-user state folder, in place of the environment's.
    std::optional<std::string> homeOverride;
    // untrustedCaller: the host serves a caller it does not trust (a page in
    // a protected browser process); the operations that reach the user's
    // keys, files, registry or adapters then refuse with 1500.
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

    // GetVersion: the component's file version, "4.2.3.0". Clears the error
    // code.
    std::u16string GetVersion();
    // GetOSName: the system's name (the host's own name, or the Windows name
    // of the version data), and applies the provider defaults of that version
    // to the Enroller, replacing a provider chosen before. When the version
    // cannot be read: "Windows 作業系統偵測錯誤!" and nothing applied. Clears
    // nothing.
    std::u16string GetOSName();
    // GetMacAddress: the network adapters' hardware addresses, six bytes each
    // as "%02X-%02X-%02X-%02X-%02X-%02X", one line feed between them.
    // 1500 in protected mode, 5001 when there is no adapter to report.
    std::u16string GetMacAddress();
    // GetUserHomePath: the user's home folder, as probed when the Engine was
    // made.
    std::u16string GetUserHomePath();

    // --- Registry values ---

    // The address strName is a key path, a backslash and a value name (empty:
    // the key's default value); it is split at its last backslash. An empty
    // address or one without a backslash is 5005, even in protected mode.

    // RegReadHKCU, RegReadHKLM: a REG_SZ value of at most 255 bytes as it is,
    // a REG_DWORD in signed decimal; empty for a missing value, a longer
    // string or another type (code 0). 5906 when the key cannot be opened.
    std::u16string RegReadHKCU(std::u16string_view strName);
    std::u16string RegReadHKLM(std::u16string_view strName);
    // RegWriteHKCUInt, RegWriteHKCUStr: store a REG_DWORD, or a REG_SZ
    // without terminator, creating the key and those above it. The result is
    // the error code: 0, 5005, 1500, or 5906 when the store refuses.
    std::int32_t RegWriteHKCUInt(std::u16string_view strName, std::int32_t dw);
    std::int32_t RegWriteHKCUStr(std::u16string_view strName, std::u16string_view str);
    // GetServerAuth, VerifyServerResponse: kept for callers of the interface;
    // they only clear both error fields (an empty string, and 0).
    std::u16string GetServerAuth();
    std::int32_t VerifyServerResponse(std::u16string_view strServerResponse);

    // --- Provider selection ---

    // SetProviderName: chooses an installed provider by its exact name: 0,
    // 5005 for an empty name, 1500 in protected mode, 5046 for a name not
    // installed. The result is the error code.
    std::int32_t SetProviderName(std::u16string_view strProviderName);
    Enroller& enroller() { return enroller_; }
    const Enroller& enroller() const { return enroller_; }

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

    // PresetPasswdLengthRange: the range of password lengths the password
    // dialogs accept (never applied to a password the caller passes): min
    // and max are swapped when min > max, then a min below 1 becomes 0 and a
    // max of 0 or less becomes 16. Always 0; clears both error fields.
    std::int32_t PresetPasswdLengthRange(std::int32_t min, std::int32_t max);
    // SetDefaultPfxFileName: the name an exported PFX file gets, the empty
    // one included. Always 0; clears the error code only.
    std::int32_t SetDefaultPfxFileName(std::u16string_view strPrefix);
    // The folder and name of the last imported and the last exported PFX
    // file; empty until an import or export sets them. They change nothing.
    std::u16string GetImportedPfxFilePath() const { return toWideText(importedPfxPath_); }
    std::u16string GetImportedPfxFileName() const { return toWideText(importedPfxName_); }
    std::u16string GetExportedPfxFilePath() const { return toWideText(exportedPfxPath_); }
    std::u16string GetExportedPfxFileName() const { return toWideText(exportedPfxName_); }
    std::int32_t minPasswordLength() const { return minPasswordLength_; }
    std::int32_t maxPasswordLength() const { return maxPasswordLength_; }
    const std::string& defaultPfxPrefix() const { return defaultPfxPrefix_; }

    // --- Personal store ---

    // GetIECertCount: takes a new snapshot of the personal store "MY" (every
    // certificate, in the store's order) and answers how many it holds; 0
    // when the store cannot be read. Clears the error code; in protected mode
    // 1500, and the snapshot stays as it was.
    std::int32_t GetIECertCount();
    // GetIECertSerial ... GetIECertFinger: one field of the snapshot's
    // certificate at the 1-based dwIndex, as CertWrapper renders it. Empty,
    // with the error fields untouched, for a position outside the snapshot;
    // 1500 and empty in protected mode.
    std::u16string GetIECertSerial(std::int32_t dwIndex);
    std::u16string GetIECertCommonName(std::int32_t dwIndex);
    std::u16string GetIECertSubject(std::int32_t dwIndex);
    std::u16string GetIECertIssuer(std::int32_t dwIndex);
    std::u16string GetIECertNotBefore(std::int32_t dwIndex);
    std::u16string GetIECertNotAfter(std::int32_t dwIndex);
    std::u16string GetIECertFinger(std::int32_t dwIndex);
    // DeleteIECert: deletes from "MY" the first certificate whose encoding is
    // that of the snapshot's certificate at dwIndex (its key container
    // stays), then empties the snapshot. The result is the error code: 0,
    // 1500, or 5010 for a position outside the snapshot, a store that cannot
    // be opened, a certificate no longer there or a deletion that failed.
    std::int32_t DeleteIECert(std::int32_t dwIndex);

    // --- Error fields and gate ---

    // The error fields as the operations' steps set them: an operation clears
    // what it owns on entry and sets the code (and, for a failing platform
    // call, the platform's number) of the step that failed.
    void setErrorCode(std::int32_t code) { errorCode_ = code; }
    void setCapiError(std::uint32_t number) { capiError_ = number; }

    // servesUntrustedCaller: whether the host marked this Engine's caller as
    // untrusted (protected mode); fixed when the Engine is made.
    bool servesUntrustedCaller() const { return untrustedCaller_; }
    // refuseUntrustedCaller: the gate of an operation that an untrusted
    // caller may not run: for such a caller sets code 1500 and returns true
    // (the operation then returns its empty result); otherwise changes
    // nothing and returns false.
    bool refuseUntrustedCaller();

    const platform::StateHome& stateHome() const { return stateHome_; }
    platform::Platform& platform() { return *platform_; }

private:
    // toWideText: a member string as a result leaves the Engine.
    static std::u16string toWideText(const std::string& ansi);
    // personalStoreField: one rendering of the snapshot's certificate at
    // `position`, for the GetIECert... getters.
    std::u16string personalStoreField(std::int32_t position,
                                      std::string (CertWrapper::*render)() const);

    std::int32_t errorCode_ = 0;
    std::uint32_t capiError_ = 0;
    platform::StateHome stateHome_;
    std::unique_ptr<platform::Platform> platform_;
    Enroller enroller_;
    std::string homePath_;
    bool untrustedCaller_;
    // PFX files: the password dialogs' range, the export name, and the last
    // imported and exported files (8-bit text in the process code page).
    std::int32_t minPasswordLength_ = 0;
    std::int32_t maxPasswordLength_ = 16;
    std::string defaultPfxPrefix_;
    std::string importedPfxPath_, importedPfxName_;
    std::string exportedPfxPath_, exportedPfxName_;
    PersonalStoreList personalStore_;
};

}  // namespace pennaform
