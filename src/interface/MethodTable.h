// The method table: the component's vocabulary. Each row gives the method's
// place in the interface (slot and dispatch id), its name, its arguments and
// result, its flat export name, and the Engine operation it reaches. The
// dispatcher, the flat exports, the control object and the command are all
// driven by this one table.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "interface/Binding.h"

namespace pennaform {

struct ArgumentSpec {
    std::string_view name;
    ValueType type;
};

struct MethodSpec {
    int slot;    // place after the IDispatch methods; 0 for the export-only row
    int dispId;  // dispatch identifier; -1 for the export-only row
    std::string_view name;
    std::array<ArgumentSpec, 7> argumentList;
    int argumentCount;
    ValueType result;
    std::string_view exportName;  // undecorated flat export name
    Invoker invoke;
    Signature bound;              // the bound operation's signature; unknown when not built
    bool refusesUntrustedCaller;  // refuses an untrusted caller with 1500

    constexpr std::span<const ArgumentSpec> arguments() const {
        return {argumentList.data(), std::size_t(argumentCount)};
    }
    constexpr bool isExportOnly() const { return dispId < 0; }
    // decoratedName: "_" + export name + "@" + four bytes per argument.
    std::string decoratedName() const {
        return "_" + std::string(exportName) + "@" + std::to_string(4 * argumentCount);
    }
    // hasDecoratedName: the same comparison without allocating.
    constexpr bool hasDecoratedName(std::string_view decorated) const {
        if (decorated.size() < 3 || decorated.front() != '_') return false;
        std::size_t at = decorated.rfind('@');
        if (at == std::string_view::npos || decorated.substr(1, at - 1) != exportName) return false;
        std::string_view digits = decorated.substr(at + 1);
        int value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9' || value > 1000) return false;
            value = value * 10 + (c - '0');
        }
        return !digits.empty() && (digits.size() == 1 || digits[0] != '0') &&
               value == 4 * argumentCount;
    }
};

// kRefusingUntrustedCaller: the operations that refuse to run for an
// untrusted caller (protected mode):
// those that reach the user's files, keys, certificates, registry or network
// adapters. A built operation checks the gate itself, at the step where its
// own argument checks end; one not built yet checks it before answering 5004.
inline constexpr std::array<std::string_view, 36> kRefusingUntrustedCaller = {
    "GetMacAddress",     "RegReadHKCU",         "RegWriteHKCUInt",
    "RegWriteHKCUStr",   "RegReadHKLM",         "Hash",
    "HashFile",          "SetProviderName",     "CreatePKCS10",
    "CreatePKCS10Pair",  "AcceptPKCS7",         "ChangePfxPasswd",
    "ChangePfxPasswdEx", "QueryPfxInfo",        "ImportPfxToIE",
    "ExportPfxFromIE",   "ExportMobileFromPfx", "ExportMobileFromIE",
    "SelectSigner",      "SelectSignerEx",      "SelectSignerEx2",
    "SignPkcs1",         "SignPkcs7",           "SymEncrypt",
    "SymDecrypt",        "CertEncryptPkcs7",    "CertDecryptPkcs7",
    "GetIECertCount",    "GetIECertSerial",     "GetIECertCommonName",
    "GetIECertSubject",  "GetIECertIssuer",     "GetIECertNotBefore",
    "GetIECertNotAfter", "GetIECertFinger",     "DeleteIECert",
};

namespace detail {
constexpr bool refusesUntrustedCaller(std::string_view name) {
    for (std::string_view refusing : kRefusingUntrustedCaller) {
        if (refusing == name) return true;
    }
    return false;
}

template <auto Op>
constexpr MethodSpec row(int slot, int dispId, std::string_view name,
                         std::array<ArgumentSpec, 7> args, int count, ValueType result,
                         std::string_view exportName) {
    return {slot,
            dispId,
            name,
            args,
            count,
            result,
            exportName,
            &bound<Op>,
            signatureOf<Op>(),
            refusesUntrustedCaller(name)};
}
constexpr MethodSpec rowNotBuilt(int slot, int dispId, std::string_view name,
                                 std::array<ArgumentSpec, 7> args, int count, ValueType result,
                                 std::string_view exportName) {
    bool refuses = refusesUntrustedCaller(name);
    Invoker invoke =
        result == ValueType::Long
            ? (refuses ? &notBuilt<ValueType::Long, true> : &notBuilt<ValueType::Long, false>)
            : (refuses ? &notBuilt<ValueType::String, true> : &notBuilt<ValueType::String, false>);
    return {slot, dispId, name, args, count, result, exportName, invoke, Signature{}, refuses};
}
}  // namespace detail

// The 65 interface methods in slot order, then the one export that has no
// method, _SelectSignerINS@12.
namespace detail {
constexpr std::array<MethodSpec, 66> buildMethodTable() {
    using enum ValueType;
    // One row per line: the table reads as a table.
    // clang-format off
    return {{
    row<&Engine::GetVersion>(1, 1, "GetVersion", {{}}, 0, String, "GetDllVersion"),
    row<&Engine::GetErrorCode>(2, 2, "GetErrorCode", {{}}, 0, Long, "GetErrorCode"),
    row<&Engine::GetErrorMsg>(3, 3, "GetErrorMsg", {{}}, 0, String, "GetErrorMsg"),
    row<&Engine::GetCapiErrorCode>(4, 4, "GetCapiErrorCode", {{}}, 0, Long, "GetCapiErrorCode"),
    row<&Engine::GetCapiErrorMsg>(5, 5, "GetCapiErrorMsg", {{}}, 0, String, "GetCapiErrorMsg"),
    row<&Engine::GetMacAddress>(6, 6, "GetMacAddress", {{}}, 0, String, "GetMacAddress"),
    row<&Engine::GetOSName>(7, 7, "GetOSName", {{}}, 0, String, "GetOSName"),
    row<&Engine::GetUserHomePath>(8, 8, "GetUserHomePath", {{}}, 0, String, "GetUserHomePath"),
    row<&Engine::GetServerAuth>(9, 10, "GetServerAuth", {{}}, 0, String, "GetServerAuth"),
    row<&Engine::VerifyServerResponse>(10, 11, "VerifyServerResponse", {{{"strServerResponse", String}}}, 1, Long, "VerifyServerResponse"),
    row<&Engine::RegReadHKCU>(11, 20, "RegReadHKCU", {{{"strName", String}}}, 1, String, "RegReadHKCU"),
    row<&Engine::RegWriteHKCUInt>(12, 21, "RegWriteHKCUInt", {{{"strName", String}, {"dw", Long}}}, 2, Long, "RegWriteHKCUInt"),
    row<&Engine::RegWriteHKCUStr>(13, 22, "RegWriteHKCUStr", {{{"strName", String}, {"str", String}}}, 2, Long, "RegWriteHKCUStr"),
    row<&Engine::RegReadHKLM>(14, 23, "RegReadHKLM", {{{"strName", String}}}, 1, String, "RegReadHKLM"),
    row<&Engine::Hash>(15, 30, "Hash", {{{"strPlainText", String}, {"dwFlags", Long}}}, 2, String, "Hash"),
    row<&Engine::HashFile>(16, 31, "HashFile", {{{"strFileName", String}, {"dwFlags", Long}}}, 2, String, "HashFile"),
    row<&Engine::SetProviderName>(17, 40, "SetProviderName", {{{"strProviderName", String}}}, 1, Long, "SetProviderName"),
    row<&Engine::CreatePKCS10>(18, 41, "CreatePKCS10", {{{"commonName", String}, {"keyBits", Long}, {"genKeyFlags", Long}}}, 3, String, "CreatePKCS10"),
    row<&Engine::CreatePKCS10Pair>(19, 42, "CreatePKCS10Pair", {{{"commonName", String}, {"keyBits", Long}, {"genKeyFlags", Long}}}, 3, Long, "CreatePKCS10Pair"),
    row<&Engine::GetCsrForSign>(20, 43, "GetCsrForSign", {{}}, 0, String, "GetCsrForSign"),
    row<&Engine::GetCsrForEncrypt>(21, 44, "GetCsrForEncrypt", {{}}, 0, String, "GetCsrForEncrypt"),
    row<&Engine::AcceptPKCS7>(22, 45, "AcceptPKCS7", {{{"strPkcs7", String}}}, 1, Long, "AcceptPKCS7"),
    row<&Engine::SetDefaultPfxFileName>(23, 50, "SetDefaultPfxFileName", {{{"strPrefix", String}}}, 1, Long, "SetDefaultPfxFileName"),
    row<&Engine::PresetPasswdLengthRange>(24, 51, "PresetPasswdLengthRange", {{{"min", Long}, {"max", Long}}}, 2, Long, "PresetPasswdLengthRange"),
    row<&Engine::ChangePfxPasswd>(25, 52, "ChangePfxPasswd", {{{"strPfxPath", String}, {"strPfxName", String}, {"strOldPass", String}, {"strNewPass", String}, {"dwFlags", Long}}}, 5, Long, "ChangePfxPasswd"),
    row<&Engine::ChangePfxPasswdEx>(26, 53, "ChangePfxPasswdEx", {{{"strPfxPath", String}, {"strPfxName", String}, {"strOldPass", String}, {"strNewPass", String}, {"dwPort", Long}, {"dwFlags", Long}}}, 6, Long, "ChangePfxPasswdEx"),
    row<&Engine::QueryPfxInfo>(27, 54, "QueryPfxInfo", {{{"strPfxPath", String}, {"strPfxName", String}, {"strPasswd", String}, {"dwFlags", Long}, {"dwKeyUsage", Long}}}, 5, Long, "QueryPfxInfo"),
    row<&Engine::ImportPfxToIE>(28, 55, "ImportPfxToIE", {{{"strPfxPath", String}, {"strPfxName", String}, {"strPasswd", String}, {"dwFlags", Long}, {"dwKeyUsage", Long}}}, 5, Long, "ImportPfxToIE"),
    row<&Engine::GetImportedPfxFilePath>(29, 56, "GetImportedPfxFilePath", {{}}, 0, String, "GetImportedPfxFilePath"),
    row<&Engine::GetImportedPfxFileName>(30, 57, "GetImportedPfxFileName", {{}}, 0, String, "GetImportedPfxFileName"),
    row<&Engine::ExportPfxFromIE>(31, 60, "ExportPfxFromIE", {{{"strSubject", String}, {"strPfxPath", String}, {"strPassword", String}, {"dwFlags", Long}, {"dwKeyUsage", Long}}}, 5, Long, "ExportPfxFromIE"),
    row<&Engine::ExportMobileFromPfx>(32, 61, "ExportMobileFromPfx", {{{"strPfxPath", String}, {"strPfxName", String}, {"strPasswd", String}, {"dwFlags", Long}, {"dwKeyUsage", Long}}}, 5, String, "ExportMobileFromPfx"),
    row<&Engine::ExportMobileFromIE>(33, 62, "ExportMobileFromIE", {{{"strSubject", String}, {"strPasswd", String}, {"dwFlags", Long}, {"dwKeyUsage", Long}}}, 4, String, "ExportMobileFromIE"),
    row<&Engine::GetExportedPfxFilePath>(34, 63, "GetExportedPfxFilePath", {{}}, 0, String, "GetExportedPfxFilePath"),
    row<&Engine::GetExportedPfxFileName>(35, 64, "GetExportedPfxFileName", {{}}, 0, String, "GetExportedPfxFileName"),
    row<&Engine::SelectSigner>(36, 70, "SelectSigner", {{{"certFilter", String}, {"dwFlags", Long}, {"dwKeyUsage", Long}}}, 3, Long, "SelectSigner"),
    row<&Engine::SelectSignerEx>(37, 71, "SelectSignerEx", {{{"certFilter", String}, {"strPfxPath", String}, {"strPfxName", String}, {"strPasswd", String}, {"strCompareDate", String}, {"dwFlags", Long}, {"dwKeyUsage", Long}}}, 7, Long, "SelectSignerEx"),
    row<&Engine::GetSignerPfxFilePath>(38, 72, "GetSignerPfxFilePath", {{}}, 0, String, "GetSignerPfxFilePath"),
    row<&Engine::GetSignerPfxFileName>(39, 73, "GetSignerPfxFileName", {{}}, 0, String, "GetSignerPfxFileName"),
    row<&Engine::SignPkcs1>(40, 74, "SignPkcs1", {{{"strContent", String}, {"dwFlags", Long}}}, 2, String, "SignPkcs1"),
    row<&Engine::SignPkcs7>(41, 75, "SignPkcs7", {{{"strContent", String}, {"dwFlags", Long}}}, 2, String, "SignPkcs7"),
    row<&Engine::SelectSignerEx2>(42, 76, "SelectSignerEx2", {{{"certFilter", String}, {"strPfxPath", String}, {"strPfxName", String}, {"dwPort", Long}, {"strCompareDate", String}, {"dwFlags", Long}, {"dwKeyUsage", Long}}}, 7, Long, "SelectSignerEx2"),
    row<&Engine::GetPortEx>(43, 77, "GetPortEx", {{}}, 0, Long, "GetPortEx"),
    row<&Engine::GetCertB64>(44, 80, "GetCertB64", {{}}, 0, String, "GetCertB64"),
    row<&Engine::GetCertSubject>(45, 81, "GetCertSubject", {{}}, 0, String, "GetCertSubject"),
    row<&Engine::GetCertSubjectCN>(46, 82, "GetCertSubjectCN", {{}}, 0, String, "GetCertSubjectCN"),
    row<&Engine::GetCertIssuer>(47, 83, "GetCertIssuer", {{}}, 0, String, "GetCertIssuer"),
    row<&Engine::GetCertSerial>(48, 84, "GetCertSerial", {{}}, 0, String, "GetCertSerial"),
    row<&Engine::GetCertNotBefore>(49, 85, "GetCertNotBefore", {{}}, 0, String, "GetCertNotBefore"),
    row<&Engine::GetCertNotAfter>(50, 86, "GetCertNotAfter", {{}}, 0, String, "GetCertNotAfter"),
    row<&Engine::GetCertFinger>(51, 87, "GetCertFinger", {{}}, 0, String, "GetCertFinger"),
    row<&Engine::GetCertKeyUsage>(52, 88, "GetCertKeyUsage", {{}}, 0, Long, "GetCertKeyUsage"),
    row<&Engine::SymEncrypt>(53, 90, "SymEncrypt", {{{"strPlainText", String}, {"strPasswdHex", String}, {"iAlgorithm", Long}, {"dwFlags", Long}}}, 4, String, "SymEncrypt"),
    row<&Engine::SymDecrypt>(54, 91, "SymDecrypt", {{{"strCipher", String}, {"strPasswdHex", String}, {"iAlgorithm", Long}, {"dwFlags", Long}}}, 4, String, "SymDecrypt"),
    row<&Engine::CertEncryptPkcs7>(55, 92, "CertEncryptPkcs7", {{{"strPlainText", String}, {"strCertB64", String}, {"iAlgorithm", Long}, {"dwFlags", Long}}}, 4, String, "CertEncryptPkcs7"),
    row<&Engine::CertDecryptPkcs7>(56, 93, "CertDecryptPkcs7", {{{"strCipher", String}, {"dwFlags", Long}}}, 2, String, "CertDecryptPkcs7"),
    row<&Engine::GetIECertCount>(57, 101, "GetIECertCount", {{}}, 0, Long, "GetIECertCount"),
    row<&Engine::GetIECertSerial>(58, 102, "GetIECertSerial", {{{"dwIndex", Long}}}, 1, String, "GetIECertSerial"),
    row<&Engine::GetIECertCommonName>(59, 103, "GetIECertCommonName", {{{"dwIndex", Long}}}, 1, String, "GetIECertCommonName"),
    row<&Engine::GetIECertSubject>(60, 104, "GetIECertSubject", {{{"dwIndex", Long}}}, 1, String, "GetIECertSubject"),
    row<&Engine::GetIECertIssuer>(61, 105, "GetIECertIssuer", {{{"dwIndex", Long}}}, 1, String, "GetIECertIssuer"),
    row<&Engine::GetIECertNotBefore>(62, 106, "GetIECertNotBefore", {{{"dwIndex", Long}}}, 1, String, "GetIECertNotBefore"),
    row<&Engine::GetIECertNotAfter>(63, 107, "GetIECertNotAfter", {{{"dwIndex", Long}}}, 1, String, "GetIECertNotAfter"),
    row<&Engine::GetIECertFinger>(64, 108, "GetIECertFinger", {{{"dwIndex", Long}}}, 1, String, "GetIECertFinger"),
    row<&Engine::DeleteIECert>(65, 109, "DeleteIECert", {{{"dwIndex", Long}}}, 1, Long, "DeleteIECert"),
    row<&Engine::SelectSignerINS>(0, -1, "SelectSignerINS", {{{"arg1", Long}, {"arg2", Long}, {"arg3", Long}}}, 3, Long, "SelectSignerINS"),
    }};
    // clang-format on
}

// Every operation bound to a row takes and returns what the row declares.
constexpr bool rowsMatchTheirOperations(const std::array<MethodSpec, 66>& table) {
    for (const MethodSpec& m : table) {
        if (!m.bound.known) continue;
        if (m.bound.argumentCount != m.argumentCount || m.bound.result != m.result) return false;
        for (int i = 0; i < m.argumentCount; ++i) {
            if (m.bound.arguments[std::size_t(i)] != m.argumentList[std::size_t(i)].type)
                return false;
        }
    }
    return true;
}

// Every name of kRefusingUntrustedCaller is a row of the table, once.
constexpr bool everyRefusingNameIsARow(const std::array<MethodSpec, 66>& table) {
    std::size_t refusingRows = 0;
    for (const MethodSpec& m : table) refusingRows += m.refusesUntrustedCaller ? 1 : 0;
    return refusingRows == kRefusingUntrustedCaller.size();
}
}  // namespace detail

inline constexpr std::array<MethodSpec, 66> kMethodTable = detail::buildMethodTable();
static_assert(detail::rowsMatchTheirOperations(kMethodTable));
static_assert(detail::everyRefusingNameIsARow(kMethodTable));

// methodIndex: the row of a method (or of the export-only name), at compile
// time; an unknown name does not compile.
consteval std::size_t methodIndex(std::string_view name) {
    for (std::size_t i = 0; i < kMethodTable.size(); ++i) {
        if (kMethodTable[i].name == name) return i;
    }
    throw "no such method";
}

}  // namespace pennaform
