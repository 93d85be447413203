/*
 * Pennaform: the flat C interface of libpennaform.so.
 *
 * Every function runs on one process-wide engine that lives from the moment
 * the library is loaded until it is unloaded. Calls must not overlap: the
 * engine takes no lock. A function never reports failure through its return
 * value alone; after a call, GetErrorCode/GetErrorMsg and
 * GetCapiErrorCode/GetCapiErrorMsg tell what happened.
 *
 * Strings are UTF-16. Arguments are NUL-terminated and stay the caller's; a
 * null argument reads as the empty string. A returned BSTR belongs to the
 * caller, stays valid after later calls, and is freed with SysFreeString.
 */
#ifndef PENNAFORM_PENNAFORM_H
#define PENNAFORM_PENNAFORM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
typedef char16_t OLECHAR;
#else
#include <uchar.h>
typedef char16_t OLECHAR;
#endif

/* A BSTR points at its first UTF-16 unit; a 4-byte byte count stands just
 * before it and a zero unit just after the last character. */
typedef OLECHAR* BSTR;

#define PENNAFORM_API __attribute__((visibility("default")))

/* SysAllocString: a new BSTR holding text up to its first NUL; null for null. */
PENNAFORM_API BSTR SysAllocString(const OLECHAR* text);
/* SysAllocStringLen: a new BSTR of length characters copied from text (left
 * zero-filled when text is null); null when the length is too large. */
PENNAFORM_API BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length);
/* SysStringLen: the length in characters; 0 for null. */
PENNAFORM_API uint32_t SysStringLen(BSTR text);
/* SysFreeString: frees a BSTR; does nothing for null. */
PENNAFORM_API void SysFreeString(BSTR text);

/* pennaform_export: the function behind a decorated export name such as
 * "_Hash@8" or "_SelectSignerINS@12", or null for a name the library does not
 * export. Cast the result to the function's own type before calling it. */
typedef void (*pennaform_function)(void);
PENNAFORM_API pennaform_function pennaform_export(const char* decoratedName);

/* pennaform_use_dialogs: chooses how the process-wide engine shows its
 * dialogs (file and password prompts, the certificate picker, the signing
 * confirmation, the file and folder choosers). kind is
 *   "headless"  the default: no dialog can be shown; an operation that needs
 *               one reports the code it gives for a dialog that cannot be
 *               created (5070 for the file chooser of HashFile, 5002 for a
 *               PFX prompt), and nothing ever waits for input;
 *   "terminal"  the process's controlling terminal, passwords not echoed;
 *               without a controlling terminal it acts as "headless";
 *   "scripted"  answers read now from the JSON file answersPath, and a
 *               transcript of every dialog written to transcriptPath
 *               (created or emptied now; null for none). The README
 *               describes both formats.
 * Paths are file-system paths; both are null except for "scripted".
 * Returns 0, or: 5005 for an unknown kind or paths that do not fit it, 1002
 * when the answers cannot be read, 5045 when they are not in the answers
 * format, 1003 when the transcript cannot be created; the host in use then
 * stays. Leaves GetErrorCode and GetCapiErrorCode alone. Must not be called
 * while another call is running. */
PENNAFORM_API int32_t pennaform_use_dialogs(const char* kind, const char* answersPath,
                                            const char* transcriptPath);

/* The operations, in the order of the interface's method table. */
PENNAFORM_API BSTR GetDllVersion(void);
PENNAFORM_API int32_t GetErrorCode(void);
PENNAFORM_API BSTR GetErrorMsg(void);
PENNAFORM_API int32_t GetCapiErrorCode(void);
PENNAFORM_API BSTR GetCapiErrorMsg(void);
PENNAFORM_API BSTR GetMacAddress(void);
PENNAFORM_API BSTR GetOSName(void);
PENNAFORM_API BSTR GetUserHomePath(void);
PENNAFORM_API BSTR GetServerAuth(void);
PENNAFORM_API int32_t VerifyServerResponse(const OLECHAR* strServerResponse);
PENNAFORM_API BSTR RegReadHKCU(const OLECHAR* strName);
PENNAFORM_API int32_t RegWriteHKCUInt(const OLECHAR* strName, int32_t dw);
PENNAFORM_API int32_t RegWriteHKCUStr(const OLECHAR* strName, const OLECHAR* str);
PENNAFORM_API BSTR RegReadHKLM(const OLECHAR* strName);
PENNAFORM_API BSTR Hash(const OLECHAR* strPlainText, int32_t dwFlags);
PENNAFORM_API BSTR HashFile(const OLECHAR* strFileName, int32_t dwFlags);
PENNAFORM_API int32_t SetProviderName(const OLECHAR* strProviderName);
PENNAFORM_API BSTR CreatePKCS10(const OLECHAR* commonName, int32_t keyBits, int32_t genKeyFlags);
PENNAFORM_API int32_t CreatePKCS10Pair(const OLECHAR* commonName, int32_t keyBits,
                                       int32_t genKeyFlags);
PENNAFORM_API BSTR GetCsrForSign(void);
PENNAFORM_API BSTR GetCsrForEncrypt(void);
PENNAFORM_API int32_t AcceptPKCS7(const OLECHAR* strPkcs7);
PENNAFORM_API int32_t SetDefaultPfxFileName(const OLECHAR* strPrefix);
PENNAFORM_API int32_t PresetPasswdLengthRange(int32_t min, int32_t max);
PENNAFORM_API int32_t ChangePfxPasswd(const OLECHAR* strPfxPath, const OLECHAR* strPfxName,
                                      const OLECHAR* strOldPass, const OLECHAR* strNewPass,
                                      int32_t dwFlags);
PENNAFORM_API int32_t ChangePfxPasswdEx(const OLECHAR* strPfxPath, const OLECHAR* strPfxName,
                                        const OLECHAR* strOldPass, const OLECHAR* strNewPass,
                                        int32_t dwPort, int32_t dwFlags);
PENNAFORM_API int32_t QueryPfxInfo(const OLECHAR* strPfxPath, const OLECHAR* strPfxName,
                                   const OLECHAR* strPasswd, int32_t dwFlags, int32_t dwKeyUsage);
PENNAFORM_API int32_t ImportPfxToIE(const OLECHAR* strPfxPath, const OLECHAR* strPfxName,
                                    const OLECHAR* strPasswd, int32_t dwFlags, int32_t dwKeyUsage);
PENNAFORM_API BSTR GetImportedPfxFilePath(void);
PENNAFORM_API BSTR GetImportedPfxFileName(void);
PENNAFORM_API int32_t ExportPfxFromIE(const OLECHAR* strSubject, const OLECHAR* strPfxPath,
                                      const OLECHAR* strPassword, int32_t dwFlags,
                                      int32_t dwKeyUsage);
PENNAFORM_API BSTR ExportMobileFromPfx(const OLECHAR* strPfxPath, const OLECHAR* strPfxName,
                                       const OLECHAR* strPasswd, int32_t dwFlags,
                                       int32_t dwKeyUsage);
PENNAFORM_API BSTR ExportMobileFromIE(const OLECHAR* strSubject, const OLECHAR* strPasswd,
                                      int32_t dwFlags, int32_t dwKeyUsage);
PENNAFORM_API BSTR GetExportedPfxFilePath(void);
PENNAFORM_API BSTR GetExportedPfxFileName(void);
PENNAFORM_API int32_t SelectSigner(const OLECHAR* certFilter, int32_t dwFlags, int32_t dwKeyUsage);
PENNAFORM_API int32_t SelectSignerEx(const OLECHAR* certFilter, const OLECHAR* strPfxPath,
                                     const OLECHAR* strPfxName, const OLECHAR* strPasswd,
                                     const OLECHAR* strCompareDate, int32_t dwFlags,
                                     int32_t dwKeyUsage);
PENNAFORM_API BSTR GetSignerPfxFilePath(void);
PENNAFORM_API BSTR GetSignerPfxFileName(void);
PENNAFORM_API BSTR SignPkcs1(const OLECHAR* strContent, int32_t dwFlags);
PENNAFORM_API BSTR SignPkcs7(const OLECHAR* strContent, int32_t dwFlags);
PENNAFORM_API int32_t SelectSignerEx2(const OLECHAR* certFilter, const OLECHAR* strPfxPath,
                                      const OLECHAR* strPfxName, int32_t dwPort,
                                      const OLECHAR* strCompareDate, int32_t dwFlags,
                                      int32_t dwKeyUsage);
PENNAFORM_API int32_t GetPortEx(void);
PENNAFORM_API BSTR GetCertB64(void);
PENNAFORM_API BSTR GetCertSubject(void);
PENNAFORM_API BSTR GetCertSubjectCN(void);
PENNAFORM_API BSTR GetCertIssuer(void);
PENNAFORM_API BSTR GetCertSerial(void);
PENNAFORM_API BSTR GetCertNotBefore(void);
PENNAFORM_API BSTR GetCertNotAfter(void);
PENNAFORM_API BSTR GetCertFinger(void);
PENNAFORM_API int32_t GetCertKeyUsage(void);
PENNAFORM_API BSTR SymEncrypt(const OLECHAR* strPlainText, const OLECHAR* strPasswdHex,
                              int32_t iAlgorithm, int32_t dwFlags);
PENNAFORM_API BSTR SymDecrypt(const OLECHAR* strCipher, const OLECHAR* strPasswdHex,
                              int32_t iAlgorithm, int32_t dwFlags);
PENNAFORM_API BSTR CertEncryptPkcs7(const OLECHAR* strPlainText, const OLECHAR* strCertB64,
                                    int32_t iAlgorithm, int32_t dwFlags);
PENNAFORM_API BSTR CertDecryptPkcs7(const OLECHAR* strCipher, int32_t dwFlags);
PENNAFORM_API int32_t GetIECertCount(void);
PENNAFORM_API BSTR GetIECertSerial(int32_t dwIndex);
PENNAFORM_API BSTR GetIECertCommonName(int32_t dwIndex);
PENNAFORM_API BSTR GetIECertSubject(int32_t dwIndex);
PENNAFORM_API BSTR GetIECertIssuer(int32_t dwIndex);
PENNAFORM_API BSTR GetIECertNotBefore(int32_t dwIndex);
PENNAFORM_API BSTR GetIECertNotAfter(int32_t dwIndex);
PENNAFORM_API BSTR GetIECertFinger(int32_t dwIndex);
PENNAFORM_API int32_t DeleteIECert(int32_t dwIndex);
PENNAFORM_API int32_t SelectSignerINS(int32_t arg1, int32_t arg2, int32_t arg3);

#ifdef __cplusplus
}
#endif

/* The control object, its COM types and the module's entry points. */
#include "pennaform/pennaform_com.h"

#endif /* PENNAFORM_PENNAFORM_H */
