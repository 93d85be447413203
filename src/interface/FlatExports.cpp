// The flat exports: one C function per method-table row, all running on the
// process-wide Engine, and the resolver for their decorated names.
#include <algorithm>
#include <array>
#include <string_view>

#include "encoding/ErrorTable.h"
#include "interface/Bstr.h"
#include "interface/Dispatcher.h"
#include "interface/Guard.h"
#include "interface/ProcessEngine.h"
#include "pennaform/pennaform.h"

namespace pennaform {
namespace {

Argument toArgument(const OLECHAR* text) {
    return copyArgument(text);
}
Argument toArgument(std::int32_t number) {
    return number;
}

// flatCall: copies the arguments, runs the row's operation on the process
// Engine and hands the result over in the C form (a new BSTR or a long), all
// inside the guard: a call that throws answers its empty result, except
// GetErrorCode, which answers the guard's code when the Engine could not be
// built.
template <std::size_t Index, typename... A>
auto flatCall(A... args) noexcept {
    constexpr const MethodSpec& method = kMethodTable[Index];
    static_assert(sizeof...(A) == method.arguments().size());
    using Return = std::conditional_t<method.result == ValueType::Long, std::int32_t, BSTR>;
    return guardedEngineCall(
        processEngine,
        [&](Engine& engine) -> Return {
            std::array<Argument, sizeof...(A)> copies{toArgument(args)...};
            Result result = Dispatcher::call(engine, method, copies);
            if constexpr (std::is_same_v<Return, BSTR>)
                return toBstr(std::get<std::optional<std::u16string>>(result));
            else
                return std::get<std::int32_t>(result);
        },
        []([[maybe_unused]] std::int32_t code, [[maybe_unused]] bool engineReached) -> Return {
            if constexpr (Index == methodIndex("GetErrorCode")) {
                if (!engineReached) return code;
            }
            return Return{};
        });
}

}  // namespace
}  // namespace pennaform

using pennaform::flatCall;
using pennaform::methodIndex;

extern "C" {

PENNAFORM_API BSTR GetDllVersion(void) {
    return flatCall<methodIndex("GetVersion")>();
}
PENNAFORM_API int32_t GetErrorCode(void) {
    return flatCall<methodIndex("GetErrorCode")>();
}
PENNAFORM_API BSTR GetErrorMsg(void) {
    return flatCall<methodIndex("GetErrorMsg")>();
}
PENNAFORM_API int32_t GetCapiErrorCode(void) {
    return flatCall<methodIndex("GetCapiErrorCode")>();
}
PENNAFORM_API BSTR GetCapiErrorMsg(void) {
    return flatCall<methodIndex("GetCapiErrorMsg")>();
}
PENNAFORM_API BSTR GetMacAddress(void) {
    return flatCall<methodIndex("GetMacAddress")>();
}
PENNAFORM_API BSTR GetOSName(void) {
    return flatCall<methodIndex("GetOSName")>();
}
PENNAFORM_API BSTR GetUserHomePath(void) {
    return flatCall<methodIndex("GetUserHomePath")>();
}
PENNAFORM_API BSTR GetServerAuth(void) {
    return flatCall<methodIndex("GetServerAuth")>();
}
PENNAFORM_API int32_t VerifyServerResponse(const OLECHAR* strServerResponse) {
    return flatCall<methodIndex("VerifyServerResponse")>(strServerResponse);
}
PENNAFORM_API BSTR RegReadHKCU(const OLECHAR* strName) {
    return flatCall<methodIndex("RegReadHKCU")>(strName);
}
PENNAFORM_API int32_t RegWriteHKCUInt(const OLECHAR* strName, int32_t dw) {
    return flatCall<methodIndex("RegWriteHKCUInt")>(strName, dw);
}
PENNAFORM_API int32_t RegWriteHKCUStr(const OLECHAR* strName, const OLECHAR* str) {
    return flatCall<methodIndex("RegWriteHKCUStr")>(strName, str);
}
PENNAFORM_API BSTR RegReadHKLM(const OLECHAR* strName) {
    return flatCall<methodIndex("RegReadHKLM")>(strName);
}
PENNAFORM_API BSTR Hash(const OLECHAR* strPlainText, int32_t dwFlags) {
    return flatCall<methodIndex("Hash")>(strPlainText, dwFlags);
}
PENNAFORM_API BSTR HashFile(const OLECHAR* strFileName, int32_t dwFlags) {
    return flatCall<methodIndex("HashFile")>(strFileName, dwFlags);
}
PENNAFORM_API int32_t SetProviderName(const OLECHAR* strProviderName) {
    return flatCall<methodIndex("SetProviderName")>(strProviderName);
}
PENNAFORM_API BSTR CreatePKCS10(const OLECHAR* commonName, int32_t keyBits, int32_t genKeyFlags) {
    return flatCall<methodIndex("CreatePKCS10")>(commonName, keyBits, genKeyFlags);
}
PENNAFORM_API int32_t CreatePKCS10Pair(const OLECHAR* commonName, int32_t keyBits,
                                       int32_t genKeyFlags) {
    return flatCall<methodIndex("CreatePKCS10Pair")>(commonName, keyBits, genKeyFlags);
}
PENNAFORM_API BSTR GetCsrForSign(void) {
    return flatCall<methodIndex("GetCsrForSign")>();
}
PENNAFORM_API BSTR GetCsrForEncrypt(void) {
    return flatCall<methodIndex("GetCsrForEncrypt")>();
}
PENNAFORM_API int32_t AcceptPKCS7(const OLECHAR* strPkcs7) {
    return flatCall<methodIndex("AcceptPKCS7")>(strPkcs7);
}
PENNAFORM_API int32_t SetDefaultPfxFileName(const OLECHAR* strPrefix) {
    return flatCall<methodIndex("SetDefaultPfxFileName")>(strPrefix);
}
PENNAFORM_API int32_t PresetPasswdLengthRange(int32_t min, int32_t max) {
    return flatCall<methodIndex("PresetPasswdLengthRange")>(min, max);
}
PENNAFORM_API int32_t ChangePfxPasswd(const OLECHAR* strPfxPath, const OLECHAR* strPfxName,
                                      const OLECHAR* strOldPass, const OLECHAR* strNewPass,
                                      int32_t dwFlags) {
    return flatCall<methodIndex("ChangePfxPasswd")>(strPfxPath, strPfxName, strOldPass, strNewPass,
                                                    dwFlags);
}
PENNAFORM_API int32_t ChangePfxPasswdEx(const OLECHAR* strPfxPath, const OLECHAR* strPfxName,
                                        const OLECHAR* strOldPass, const OLECHAR* strNewPass,
                                        int32_t dwPort, int32_t dwFlags) {
    return flatCall<methodIndex("ChangePfxPasswdEx")>(strPfxPath, strPfxName, strOldPass,
                                                      strNewPass, dwPort, dwFlags);
}
PENNAFORM_API int32_t QueryPfxInfo(const OLECHAR* strPfxPath, const OLECHAR* strPfxName,
                                   const OLECHAR* strPasswd, int32_t dwFlags, int32_t dwKeyUsage) {
    return flatCall<methodIndex("QueryPfxInfo")>(strPfxPath, strPfxName, strPasswd, dwFlags,
                                                 dwKeyUsage);
}
PENNAFORM_API int32_t ImportPfxToIE(const OLECHAR* strPfxPath, const OLECHAR* strPfxName,
                                    const OLECHAR* strPasswd, int32_t dwFlags, int32_t dwKeyUsage) {
    return flatCall<methodIndex("ImportPfxToIE")>(strPfxPath, strPfxName, strPasswd, dwFlags,
                                                  dwKeyUsage);
}
PENNAFORM_API BSTR GetImportedPfxFilePath(void) {
    return flatCall<methodIndex("GetImportedPfxFilePath")>();
}
PENNAFORM_API BSTR GetImportedPfxFileName(void) {
    return flatCall<methodIndex("GetImportedPfxFileName")>();
}
PENNAFORM_API int32_t ExportPfxFromIE(const OLECHAR* strSubject, const OLECHAR* strPfxPath,
                                      const OLECHAR* strPassword, int32_t dwFlags,
                                      int32_t dwKeyUsage) {
    return flatCall<methodIndex("ExportPfxFromIE")>(strSubject, strPfxPath, strPassword, dwFlags,
                                                    dwKeyUsage);
}
PENNAFORM_API BSTR ExportMobileFromPfx(const OLECHAR* strPfxPath, const OLECHAR* strPfxName,
                                       const OLECHAR* strPasswd, int32_t dwFlags,
                                       int32_t dwKeyUsage) {
    return flatCall<methodIndex("ExportMobileFromPfx")>(strPfxPath, strPfxName, strPasswd, dwFlags,
                                                        dwKeyUsage);
}
PENNAFORM_API BSTR ExportMobileFromIE(const OLECHAR* strSubject, const OLECHAR* strPasswd,
                                      int32_t dwFlags, int32_t dwKeyUsage) {
    return flatCall<methodIndex("ExportMobileFromIE")>(strSubject, strPasswd, dwFlags, dwKeyUsage);
}
PENNAFORM_API BSTR GetExportedPfxFilePath(void) {
    return flatCall<methodIndex("GetExportedPfxFilePath")>();
}
PENNAFORM_API BSTR GetExportedPfxFileName(void) {
    return flatCall<methodIndex("GetExportedPfxFileName")>();
}
PENNAFORM_API int32_t SelectSigner(const OLECHAR* certFilter, int32_t dwFlags, int32_t dwKeyUsage) {
    return flatCall<methodIndex("SelectSigner")>(certFilter, dwFlags, dwKeyUsage);
}
PENNAFORM_API int32_t SelectSignerEx(const OLECHAR* certFilter, const OLECHAR* strPfxPath,
                                     const OLECHAR* strPfxName, const OLECHAR* strPasswd,
                                     const OLECHAR* strCompareDate, int32_t dwFlags,
                                     int32_t dwKeyUsage) {
    return flatCall<methodIndex("SelectSignerEx")>(certFilter, strPfxPath, strPfxName, strPasswd,
                                                   strCompareDate, dwFlags, dwKeyUsage);
}
PENNAFORM_API BSTR GetSignerPfxFilePath(void) {
    return flatCall<methodIndex("GetSignerPfxFilePath")>();
}
PENNAFORM_API BSTR GetSignerPfxFileName(void) {
    return flatCall<methodIndex("GetSignerPfxFileName")>();
}
PENNAFORM_API BSTR SignPkcs1(const OLECHAR* strContent, int32_t dwFlags) {
    return flatCall<methodIndex("SignPkcs1")>(strContent, dwFlags);
}
PENNAFORM_API BSTR SignPkcs7(const OLECHAR* strContent, int32_t dwFlags) {
    return flatCall<methodIndex("SignPkcs7")>(strContent, dwFlags);
}
PENNAFORM_API int32_t SelectSignerEx2(const OLECHAR* certFilter, const OLECHAR* strPfxPath,
                                      const OLECHAR* strPfxName, int32_t dwPort,
                                      const OLECHAR* strCompareDate, int32_t dwFlags,
                                      int32_t dwKeyUsage) {
    return flatCall<methodIndex("SelectSignerEx2")>(certFilter, strPfxPath, strPfxName, dwPort,
                                                    strCompareDate, dwFlags, dwKeyUsage);
}
PENNAFORM_API int32_t GetPortEx(void) {
    return flatCall<methodIndex("GetPortEx")>();
}
PENNAFORM_API BSTR GetCertB64(void) {
    return flatCall<methodIndex("GetCertB64")>();
}
PENNAFORM_API BSTR GetCertSubject(void) {
    return flatCall<methodIndex("GetCertSubject")>();
}
PENNAFORM_API BSTR GetCertSubjectCN(void) {
    return flatCall<methodIndex("GetCertSubjectCN")>();
}
PENNAFORM_API BSTR GetCertIssuer(void) {
    return flatCall<methodIndex("GetCertIssuer")>();
}
PENNAFORM_API BSTR GetCertSerial(void) {
    return flatCall<methodIndex("GetCertSerial")>();
}
PENNAFORM_API BSTR GetCertNotBefore(void) {
    return flatCall<methodIndex("GetCertNotBefore")>();
}
PENNAFORM_API BSTR GetCertNotAfter(void) {
    return flatCall<methodIndex("GetCertNotAfter")>();
}
PENNAFORM_API BSTR GetCertFinger(void) {
    return flatCall<methodIndex("GetCertFinger")>();
}
PENNAFORM_API int32_t GetCertKeyUsage(void) {
    return flatCall<methodIndex("GetCertKeyUsage")>();
}
PENNAFORM_API BSTR SymEncrypt(const OLECHAR* strPlainText, const OLECHAR* strPasswdHex,
                              int32_t iAlgorithm, int32_t dwFlags) {
    return flatCall<methodIndex("SymEncrypt")>(strPlainText, strPasswdHex, iAlgorithm, dwFlags);
}
PENNAFORM_API BSTR SymDecrypt(const OLECHAR* strCipher, const OLECHAR* strPasswdHex,
                              int32_t iAlgorithm, int32_t dwFlags) {
    return flatCall<methodIndex("SymDecrypt")>(strCipher, strPasswdHex, iAlgorithm, dwFlags);
}
PENNAFORM_API BSTR CertEncryptPkcs7(const OLECHAR* strPlainText, const OLECHAR* strCertB64,
                                    int32_t iAlgorithm, int32_t dwFlags) {
    return flatCall<methodIndex("CertEncryptPkcs7")>(strPlainText, strCertB64, iAlgorithm, dwFlags);
}
PENNAFORM_API BSTR CertDecryptPkcs7(const OLECHAR* strCipher, int32_t dwFlags) {
    return flatCall<methodIndex("CertDecryptPkcs7")>(strCipher, dwFlags);
}
PENNAFORM_API int32_t GetIECertCount(void) {
    return flatCall<methodIndex("GetIECertCount")>();
}
PENNAFORM_API BSTR GetIECertSerial(int32_t dwIndex) {
    return flatCall<methodIndex("GetIECertSerial")>(dwIndex);
}
PENNAFORM_API BSTR GetIECertCommonName(int32_t dwIndex) {
    return flatCall<methodIndex("GetIECertCommonName")>(dwIndex);
}
PENNAFORM_API BSTR GetIECertSubject(int32_t dwIndex) {
    return flatCall<methodIndex("GetIECertSubject")>(dwIndex);
}
PENNAFORM_API BSTR GetIECertIssuer(int32_t dwIndex) {
    return flatCall<methodIndex("GetIECertIssuer")>(dwIndex);
}
PENNAFORM_API BSTR GetIECertNotBefore(int32_t dwIndex) {
    return flatCall<methodIndex("GetIECertNotBefore")>(dwIndex);
}
PENNAFORM_API BSTR GetIECertNotAfter(int32_t dwIndex) {
    return flatCall<methodIndex("GetIECertNotAfter")>(dwIndex);
}
PENNAFORM_API BSTR GetIECertFinger(int32_t dwIndex) {
    return flatCall<methodIndex("GetIECertFinger")>(dwIndex);
}
PENNAFORM_API int32_t DeleteIECert(int32_t dwIndex) {
    return flatCall<methodIndex("DeleteIECert")>(dwIndex);
}
PENNAFORM_API int32_t SelectSignerINS(int32_t arg1, int32_t arg2, int32_t arg3) {
    return flatCall<methodIndex("SelectSignerINS")>(arg1, arg2, arg3);
}

}  // extern "C"

namespace pennaform {
namespace {

struct ExportAddress {
    std::string_view name;
    pennaform_function function;
};

template <typename F>
pennaform_function address(F* function) {
    return reinterpret_cast<pennaform_function>(function);
}

// The address of every flat export by its undecorated name.
const ExportAddress kExportAddresses[] = {
    {"GetDllVersion", address(&::GetDllVersion)},
    {"GetErrorCode", address(&::GetErrorCode)},
    {"GetErrorMsg", address(&::GetErrorMsg)},
    {"GetCapiErrorCode", address(&::GetCapiErrorCode)},
    {"GetCapiErrorMsg", address(&::GetCapiErrorMsg)},
    {"GetMacAddress", address(&::GetMacAddress)},
    {"GetOSName", address(&::GetOSName)},
    {"GetUserHomePath", address(&::GetUserHomePath)},
    {"GetServerAuth", address(&::GetServerAuth)},
    {"VerifyServerResponse", address(&::VerifyServerResponse)},
    {"RegReadHKCU", address(&::RegReadHKCU)},
    {"RegWriteHKCUInt", address(&::RegWriteHKCUInt)},
    {"RegWriteHKCUStr", address(&::RegWriteHKCUStr)},
    {"RegReadHKLM", address(&::RegReadHKLM)},
    {"Hash", address(&::Hash)},
    {"HashFile", address(&::HashFile)},
    {"SetProviderName", address(&::SetProviderName)},
    {"CreatePKCS10", address(&::CreatePKCS10)},
    {"CreatePKCS10Pair", address(&::CreatePKCS10Pair)},
    {"GetCsrForSign", address(&::GetCsrForSign)},
    {"GetCsrForEncrypt", address(&::GetCsrForEncrypt)},
    {"AcceptPKCS7", address(&::AcceptPKCS7)},
    {"SetDefaultPfxFileName", address(&::SetDefaultPfxFileName)},
    {"PresetPasswdLengthRange", address(&::PresetPasswdLengthRange)},
    {"ChangePfxPasswd", address(&::ChangePfxPasswd)},
    {"ChangePfxPasswdEx", address(&::ChangePfxPasswdEx)},
    {"QueryPfxInfo", address(&::QueryPfxInfo)},
    {"ImportPfxToIE", address(&::ImportPfxToIE)},
    {"GetImportedPfxFilePath", address(&::GetImportedPfxFilePath)},
    {"GetImportedPfxFileName", address(&::GetImportedPfxFileName)},
    {"ExportPfxFromIE", address(&::ExportPfxFromIE)},
    {"ExportMobileFromPfx", address(&::ExportMobileFromPfx)},
    {"ExportMobileFromIE", address(&::ExportMobileFromIE)},
    {"GetExportedPfxFilePath", address(&::GetExportedPfxFilePath)},
    {"GetExportedPfxFileName", address(&::GetExportedPfxFileName)},
    {"SelectSigner", address(&::SelectSigner)},
    {"SelectSignerEx", address(&::SelectSignerEx)},
    {"GetSignerPfxFilePath", address(&::GetSignerPfxFilePath)},
    {"GetSignerPfxFileName", address(&::GetSignerPfxFileName)},
    {"SignPkcs1", address(&::SignPkcs1)},
    {"SignPkcs7", address(&::SignPkcs7)},
    {"SelectSignerEx2", address(&::SelectSignerEx2)},
    {"GetPortEx", address(&::GetPortEx)},
    {"GetCertB64", address(&::GetCertB64)},
    {"GetCertSubject", address(&::GetCertSubject)},
    {"GetCertSubjectCN", address(&::GetCertSubjectCN)},
    {"GetCertIssuer", address(&::GetCertIssuer)},
    {"GetCertSerial", address(&::GetCertSerial)},
    {"GetCertNotBefore", address(&::GetCertNotBefore)},
    {"GetCertNotAfter", address(&::GetCertNotAfter)},
    {"GetCertFinger", address(&::GetCertFinger)},
    {"GetCertKeyUsage", address(&::GetCertKeyUsage)},
    {"SymEncrypt", address(&::SymEncrypt)},
    {"SymDecrypt", address(&::SymDecrypt)},
    {"CertEncryptPkcs7", address(&::CertEncryptPkcs7)},
    {"CertDecryptPkcs7", address(&::CertDecryptPkcs7)},
    {"GetIECertCount", address(&::GetIECertCount)},
    {"GetIECertSerial", address(&::GetIECertSerial)},
    {"GetIECertCommonName", address(&::GetIECertCommonName)},
    {"GetIECertSubject", address(&::GetIECertSubject)},
    {"GetIECertIssuer", address(&::GetIECertIssuer)},
    {"GetIECertNotBefore", address(&::GetIECertNotBefore)},
    {"GetIECertNotAfter", address(&::GetIECertNotAfter)},
    {"GetIECertFinger", address(&::GetIECertFinger)},
    {"DeleteIECert", address(&::DeleteIECert)},
    {"SelectSignerINS", address(&::SelectSignerINS)},
};
static_assert(std::size(kExportAddresses) == kMethodTable.size());

}  // namespace
}  // namespace pennaform

extern "C" PENNAFORM_API pennaform_function pennaform_export(const char* decoratedName) {
    if (decoratedName == nullptr) return nullptr;
    const pennaform::MethodSpec* method = pennaform::Dispatcher::findExport(decoratedName);
    if (method == nullptr) return nullptr;
    for (const auto& entry : pennaform::kExportAddresses) {
        if (entry.name == method->exportName) return entry.function;
    }
    return nullptr;
}
