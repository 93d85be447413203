#include "cli/Help.h"

#include <array>

#include "cli/CommandLine.h"
#include "interface/MethodTable.h"

namespace pennaform::cli {
namespace {

constexpr std::string_view kErrorModel[] = {"GetErrorCode", "GetErrorMsg", "GetCapiErrorCode",
                                            "GetCapiErrorMsg", "GetPortEx"};
constexpr std::string_view kEnvironment[] = {"GetVersion", "GetOSName", "GetMacAddress",
                                             "GetUserHomePath"};
constexpr std::string_view kRegistry[] = {"RegReadHKCU", "RegWriteHKCUInt", "RegWriteHKCUStr",
                                          "RegReadHKLM", "GetServerAuth",   "VerifyServerResponse"};
constexpr std::string_view kProviders[] = {"SetProviderName"};
constexpr std::string_view kDigests[] = {"Hash", "HashFile"};
constexpr std::string_view kSymmetric[] = {"SymEncrypt", "SymDecrypt"};
constexpr std::string_view kEnrolment[] = {"CreatePKCS10", "CreatePKCS10Pair", "GetCsrForSign",
                                           "GetCsrForEncrypt", "AcceptPKCS7"};
constexpr std::string_view kPfx[] = {"PresetPasswdLengthRange",
                                     "SetDefaultPfxFileName",
                                     "GetImportedPfxFilePath",
                                     "GetImportedPfxFileName",
                                     "GetExportedPfxFilePath",
                                     "GetExportedPfxFileName",
                                     "QueryPfxInfo",
                                     "ImportPfxToIE",
                                     "ChangePfxPasswd",
                                     "ChangePfxPasswdEx",
                                     "ExportPfxFromIE",
                                     "ExportMobileFromPfx",
                                     "ExportMobileFromIE"};
constexpr std::string_view kPersonalStore[] = {
    "GetIECertCount",    "GetIECertSerial", "GetIECertCommonName",
    "GetIECertSubject",  "GetIECertIssuer", "GetIECertNotBefore",
    "GetIECertNotAfter", "GetIECertFinger", "DeleteIECert"};
constexpr std::string_view kSigner[] = {
    "SelectSigner",         "SelectSignerEx", "SelectSignerEx2",  "GetSignerPfxFilePath",
    "GetSignerPfxFileName", "GetCertB64",     "GetCertSubject",   "GetCertSubjectCN",
    "GetCertIssuer",        "GetCertSerial",  "GetCertNotBefore", "GetCertNotAfter",
    "GetCertFinger",        "GetCertKeyUsage"};
constexpr std::string_view kSigning[] = {"SignPkcs1", "SignPkcs7"};
constexpr std::string_view kEnvelopes[] = {"CertEncryptPkcs7", "CertDecryptPkcs7"};

constexpr std::array<OperationArea, 12> kAreas = {{
    {"Error model", kErrorModel},
    {"Environment facts", kEnvironment},
    {"Registry values", kRegistry},
    {"Provider selection", kProviders},
    {"Digests", kDigests},
    {"Symmetric encryption", kSymmetric},
    {"Key pairs, requests and issued certificates", kEnrolment},
    {"PFX files", kPfx},
    {"Personal store", kPersonalStore},
    {"Signer selection and the signer's certificate", kSigner},
    {"Signing", kSigning},
    {"Certificate envelopes", kEnvelopes},
}};

std::string_view typeName(ValueType type) {
    return type == ValueType::Long ? "long" : "string";
}

}  // namespace

std::span<const OperationArea> operationAreas() {
    return kAreas;
}

std::string usageText() {
    std::string text =
        "usage: pennaform [--home DIR] [DIALOGS] [--protected-mode] METHOD [ARG...]\n"
        "       pennaform [--home DIR] [DIALOGS] [--protected-mode] session\n"
        "       pennaform [--home DIR] [DIALOGS] serve [--port N]\n"
        "       pennaform [--home DIR] trust add ORIGIN | trust remove ORIGIN | trust list\n"
        "       pennaform demo\n"
        "       pennaform help METHOD | --help | --version\n"
        "  DIALOGS: --dialogs headless | --dialogs terminal | --dialogs gtk\n"
        "         | --dialogs scripted|gtk --answers FILE [--transcript FILE]\n"
        "  METHOD is an operation's name or its decorated export name (_Hash@8).\n"
        "  Integers are decimal or 0x hexadecimal; text is UTF-8. A text given as -\n"
        "  is read from the next line of standard input (keeps secrets out of the\n"
        "  process list); -- stands for a literal -.\n"
        "  serve: the WebSocket service for web pages on 127.0.0.1 and ::1 (port 17325);\n"
        "  pages of a trusted origin get the normal component, others protected mode.\n"
        "\n"
        "operations:\n";
    for (const OperationArea& area : kAreas) {
        text += "  ";
        text += area.title;
        text += ":\n   ";
        std::size_t column = 3;
        for (std::string_view method : area.methods) {
            if (column + 1 + method.size() > 79) {
                text += "\n   ";
                column = 3;
            }
            text += ' ';
            text += method;
            column += 1 + method.size();
        }
        text += '\n';
    }
    return text;
}

std::optional<std::string> methodHelp(std::string_view name) {
    const MethodSpec* method = findCallable(name);
    if (method == nullptr) return std::nullopt;
    std::string text(method->isExportOnly() ? method->exportName : method->name);
    text += '(';
    const char* separator = "";
    for (const ArgumentSpec& argument : method->arguments()) {
        text += separator;
        text += argument.name;
        text += ": ";
        text += typeName(argument.type);
        separator = ", ";
    }
    text += ") -> ";
    text += typeName(method->result);
    text += "\n  export: " + method->decoratedName() + '\n';
    text += method->refusesUntrustedCaller ? "  protected mode: refused (1500)\n"
                                           : "  protected mode: allowed\n";
    if (!method->bound.known) text += "  not built yet: answers 5004\n";
    return text;
}

std::string versionText() {
    return "pennaform " PENNAFORM_VERSION "\n";
}

}  // namespace pennaform::cli
