// Engine: the object that carries out every operation of the API, and the
// error model those operations share: one component error code with its fixed
// message, and the platform error number kept beside it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "certificates/PersonalStoreList.h"
#include "enrol/Enroller.h"
#include "enrol/RequestTexts.h"
#include "platform/Platform.h"
#include "platform/StateHome.h"
#include "signing/LocateSigner.h"
#include "signing/SignerState.h"

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
    // signerPortScope: the web origin a bridge connection serves, whose
    // signer port is its own; empty for the session-wide port.
    std::string signerPortScope = {};
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

    // --- Enrolment (operations/Enrolment.cpp) ---

    // CreatePKCS10: makes one RSA key pair of keyBits (1024, 2048 or 4096)
    // with genKeyFlags in a new key container of the chosen provider, records
    // it as a pending request in the user's registry and returns the
    // request's text (Base64 of the DER PKCS#10 for commonName), also kept
    // for GetCsrForSign. Empty on failure: 5005 empty name, 1500, 5301 key
    // length, 5906 the registry cannot be written, 5046 no provider, 5203 or
    // 5047 no container, 1501 only weak keys, 5302 the request failed, 5002.
    std::u16string CreatePKCS10(std::u16string_view commonName, std::int32_t keyBits,
                                std::int32_t genKeyFlags);
    // CreatePKCS10Pair: as CreatePKCS10 for two key pairs, a signing one and
    // an encryption one, each with its own container and pending request;
    // their texts are kept for GetCsrForSign and GetCsrForEncrypt. The result
    // is the error code, with the codes of CreatePKCS10; on failure both
    // texts are empty.
    std::int32_t CreatePKCS10Pair(std::u16string_view commonName, std::int32_t keyBits,
                                  std::int32_t genKeyFlags);
    // GetCsrForSign, GetCsrForEncrypt: the request texts the last enrolment
    // kept (requestTexts()); empty when there is none. They change nothing.
    std::u16string GetCsrForSign();
    std::u16string GetCsrForEncrypt();
    // AcceptPKCS7: installs the certificates of a Base64 PKCS#7 that an
    // authority issued: its CA certificates into "ROOT" and "CA", and the
    // issued certificate into "MY", bound to the key container of the pending
    // request with the same public key. The result is the error code: 0,
    // 5005, 1500, 5906, 5008 not Base64, 5040 not a certificate, 5060 only CA
    // certificates, 5010 no pending request matches, 5201, 5203, 5206, 5211.
    std::int32_t AcceptPKCS7(std::u16string_view strPkcs7);
    RequestTexts& requestTexts() { return requestTexts_; }
    const RequestTexts& requestTexts() const { return requestTexts_; }

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

    // --- PFX operations (operations/PfxOperations.cpp) ---

    // The PFX file is strPfxPath and strPfxName joined; a missing part or
    // password is asked for with the PFX dialog (5070 cancelled, 5002 no
    // dialog). A load failure gives the loader's code (5005, 5401, 5207,
    // 5208), or 5906 when the platform denied access.

    // QueryPfxInfo: checks that the file opens with the password and holds a
    // certificate with a private key whose key usage has the bits of
    // dwKeyUsage, and leaves no key behind. The result is the error code: 0,
    // 1500, 5070, 5002, 5902 no such file, the load codes, 5204 no private
    // key, 5017 wrong key usage, 5010 no certificate.
    std::int32_t QueryPfxInfo(std::u16string_view strPfxPath, std::u16string_view strPfxName,
                              std::u16string_view strPasswd, std::int32_t dwFlags,
                              std::int32_t dwKeyUsage);
    // ImportPfxToIE: as QueryPfxInfo, then copies the accepted certificates
    // with their keys (exportable with dwFlags 1) into "MY" and records the
    // file as the last imported one. The result is the error code: those of
    // QueryPfxInfo, and 5201 when "MY" cannot be opened.
    std::int32_t ImportPfxToIE(std::u16string_view strPfxPath, std::u16string_view strPfxName,
                               std::u16string_view strPasswd, std::int32_t dwFlags,
                               std::int32_t dwKeyUsage);
    // ChangePfxPasswd: rewrites the file under strNewPass, the old one
    // checked first (replaced safely: the old file stays whole until the new
    // one is written). The result is the error code: 0, 1500, 5070, 5002,
    // 5209 the confirmation differs, 5902, the load codes (5208 wrong old
    // password), 5906, 5210 the export failed, 5204, 5205 the key cannot be
    // exported, 1103 the file cannot be written.
    std::int32_t ChangePfxPasswd(std::u16string_view strPfxPath, std::u16string_view strPfxName,
                                 std::u16string_view strOldPass, std::u16string_view strNewPass,
                                 std::int32_t dwFlags);
    // ChangePfxPasswdEx: ChangePfxPasswd; with dwPort > 0 a PFX signer the
    // signer port keeps from the same file also takes the new password.
    std::int32_t ChangePfxPasswdEx(std::u16string_view strPfxPath, std::u16string_view strPfxName,
                                   std::u16string_view strOldPass, std::u16string_view strNewPass,
                                   std::int32_t dwPort, std::int32_t dwFlags);
    // ExportPfxFromIE: writes the "MY" certificate the filter strSubject
    // chooses (with its chain for 0x200, deleted from "MY" after for 0x1000)
    // with its private key to a PFX file under strPassword, asking for what
    // is missing, and records it as the last exported file. The result is
    // the error code: 0, 1500, 5201, 5010/5011/5012/5017 no acceptable
    // certificate, 5070, 5002, 5226 no memory store, 5206, 5205 the key
    // cannot be exported, 5402 the file cannot be written, 1001 no folder.
    std::int32_t ExportPfxFromIE(std::u16string_view strSubject, std::u16string_view strPfxPath,
                                 std::u16string_view strPassword, std::int32_t dwFlags,
                                 std::int32_t dwKeyUsage);

    // --- Mobile export (operations/MobileExport.cpp) ---

    // ExportMobileFromPfx: the certificate and private key of a PFX file as
    // the mobile record, Triple-DES encrypted under strPasswd, in Base64.
    // Empty on failure: 1500, 5070, 5002, 5902 no such file, the load codes
    // (5005, 5401, 5207, 5208), 5010/5011/5012/5017 no acceptable
    // certificate, 5204 no private key, 5205 the key cannot be exported.
    std::u16string ExportMobileFromPfx(std::u16string_view strPfxPath,
                                       std::u16string_view strPfxName,
                                       std::u16string_view strPasswd, std::int32_t dwFlags,
                                       std::int32_t dwKeyUsage);
    // ExportMobileFromIE: the same for the "MY" certificate the filter
    // strSubject chooses. Empty on failure: 1500, 5201, 5070, the search
    // codes, 5204, 5205.
    std::u16string ExportMobileFromIE(std::u16string_view strSubject, std::u16string_view strPasswd,
                                      std::int32_t dwFlags, std::int32_t dwKeyUsage);

    // --- Signer selection and the signer's certificate
    //     (operations/SignerSelection.cpp) ---

    // SelectSigner, SelectSignerEx, SelectSignerEx2: clear the current
    // signer, then choose one by the filter certFilter from "MY" and then
    // from a PFX file (the sources, picker and keeping of the file as
    // dwFlags say; strCompareDate, "YYYYMMDDhhmmss" or empty, replaces the
    // current time of the validity check). SelectSignerEx2 first restores the
    // signer the signer port keeps when dwPort > 0, and saves the new one
    // there. The result is the error code: 0, 1500, 5005 bad compare date,
    // 5201, 5010/5011/5012/5017 no acceptable certificate, 5070, 5002, the
    // PFX load codes, 5906 access denied.
    std::int32_t SelectSigner(std::u16string_view certFilter, std::int32_t dwFlags,
                              std::int32_t dwKeyUsage);
    std::int32_t SelectSignerEx(std::u16string_view certFilter, std::u16string_view strPfxPath,
                                std::u16string_view strPfxName, std::u16string_view strPasswd,
                                std::u16string_view strCompareDate, std::int32_t dwFlags,
                                std::int32_t dwKeyUsage);
    std::int32_t SelectSignerEx2(std::u16string_view certFilter, std::u16string_view strPfxPath,
                                 std::u16string_view strPfxName, std::int32_t dwPort,
                                 std::u16string_view strCompareDate, std::int32_t dwFlags,
                                 std::int32_t dwKeyUsage);
    // GetSignerPfxFilePath, GetSignerPfxFileName: the folder and name of the
    // current signer's PFX file; empty for a signer from "MY" or none. They
    // change nothing.
    std::u16string GetSignerPfxFilePath();
    std::u16string GetSignerPfxFileName();
    // GetCertB64: the current signer's certificate in Base64 on one line;
    // empty when there is none. Changes nothing.
    std::u16string GetCertB64();
    // GetCertSubject ... GetCertFinger: one field of the current signer's
    // certificate as CertWrapper renders it (the dates as
    // "YYYYMMDDhhmmss" local time); empty when there is no signer or its
    // bytes do not parse. Each clears the error code.
    std::u16string GetCertSubject();
    std::u16string GetCertSubjectCN();
    std::u16string GetCertIssuer();
    std::u16string GetCertSerial();
    std::u16string GetCertNotBefore();
    std::u16string GetCertNotAfter();
    std::u16string GetCertFinger();
    // GetCertKeyUsage: the first byte of the current signer's key usage; 0
    // when it has none or there is no signer. Clears the error code.
    std::int32_t GetCertKeyUsage();
    SignerState& signer() { return signer_; }
    const SignerState& signer() const { return signer_; }

    // --- Signing (operations/Signing.cpp) ---

    // SignPkcs1: the raw PKCS#1 v1.5 signature of strContent (UTF-16LE, or
    // with 0x800 in the process code page) by the current signer's key, in
    // hex (Base64 with 0x100); the digest by the flags (0x1000 MD5, 0x2000
    // SHA-1 of MD5, else SHA-256 on a SHA-2 provider, else SHA-1); 0x4000
    // keeps the provider's byte order, 0x8000 asks the user first. Empty on
    // failure: 5005 empty text, 1500, 5067 no signer, 1102 its PFX file is
    // gone, 5201, 5206 no private key, 5225 the card is not ready, 5070,
    // 5002, 5061 the signature failed (platform error kept).
    std::u16string SignPkcs1(std::u16string_view strContent, std::int32_t dwFlags);
    // SignPkcs7: a PKCS#7 SignedData of strContent by the current signer, in
    // Base64 (0x100 no certificates, 0x200 the chain, 0x400 detached, 0x2000
    // authenticated attributes; the text and digest flags of SignPkcs1).
    // Empty on failure: the codes of SignPkcs1, 5040 the certificate does not
    // decode, 5202 no acceptable chain, 5305 an encoding step failed (its
    // number kept as the platform error), 5002.
    std::u16string SignPkcs7(std::u16string_view strContent, std::int32_t dwFlags);

    // --- Envelopes (operations/Envelopes.cpp) ---

    // CertEncryptPkcs7: strPlainText (UTF-16LE, or with 0x800 in the process
    // code page) enveloped for the certificate strCertB64 (a certificate or a
    // PKCS#7 carrying one, in Base64) under iAlgorithm (1 DES, 2 RC4, else
    // Triple DES), as the Base64 of the PKCS#7 EnvelopedData. Empty on
    // failure: 5005, 1500, 5040 no usable certificate, 9004 the encryption
    // failed.
    std::u16string CertEncryptPkcs7(std::u16string_view strPlainText,
                                    std::u16string_view strCertB64, std::int32_t iAlgorithm,
                                    std::int32_t dwFlags);
    // CertDecryptPkcs7: the text of a Base64 EnvelopedData, opened with the
    // key of a recipient's certificate in "MY" (or, failing that, of a PFX
    // file the user names). Empty on failure: 5005, 1500, 9002 not Base64,
    // 5017 wrong key, 5042 not an envelope, 9005 the decryption failed, 9006
    // no recipient certificate, 5070, 5002, 5010 the PFX cannot be loaded.
    std::u16string CertDecryptPkcs7(std::u16string_view strCipher, std::int32_t dwFlags);

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
    // beginSignature: the steps SignPkcs1 and SignPkcs7 share before the
    // digest (operations/Signing.cpp); the code and platform error to report.
    SigningResult beginSignature(std::u16string_view content, std::int32_t flags,
                                 LocatedSigner& located);
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
    RequestTexts requestTexts_;
    // Declared after platform_: the signer holds stores, keys and a shared
    // block of the platform, so it goes first.
    SignerState signer_;
};

}  // namespace pennaform
