// The component's error codes and their fixed messages: the whole vocabulary
// through which every operation reports failure to its caller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pennaform {

// Codes the component itself sets (the full table lives in ErrorTable.cpp).
namespace codes {
inline constexpr std::int32_t kSuccess = 0;
// kRecordNotWritten: a pending-request record could not be made; the
// table has no message of its own for it.
inline constexpr std::int32_t kRecordNotWritten = 5;
inline constexpr std::int32_t kFolderNotCreated = 1001;
inline constexpr std::int32_t kFileUnreadable = 1002;
inline constexpr std::int32_t kCertificateFileUnreadable = 1102;
inline constexpr std::int32_t kCertificateFileUnwritable = 1103;
inline constexpr std::int32_t kProtectedMode = 1500;
inline constexpr std::int32_t kWeakKey = 1501;
inline constexpr std::int32_t kGeneral = 5001;
inline constexpr std::int32_t kAllocation = 5002;
inline constexpr std::int32_t kOutOfMemory = 5003;
inline constexpr std::int32_t kNotSupported = 5004;
inline constexpr std::int32_t kBadArgument = 5005;
inline constexpr std::int32_t kBadBase64 = 5008;
inline constexpr std::int32_t kCertificateNotFound = 5010;
inline constexpr std::int32_t kCertificateExpired = 5011;
inline constexpr std::int32_t kCertificateNotYetValid = 5012;
inline constexpr std::int32_t kWrongKeyUsage = 5017;
inline constexpr std::int32_t kDigestFailed = 5035;
inline constexpr std::int32_t kBadCertificate = 5040;
inline constexpr std::int32_t kPkcs7Format = 5042;
inline constexpr std::int32_t kProviderNotInstalled = 5046;
inline constexpr std::int32_t kProviderUnsupported = 5047;
inline constexpr std::int32_t kNoKey = 5060;
inline constexpr std::int32_t kSignFailed = 5061;
inline constexpr std::int32_t kEncryptionFailed = 5063;
inline constexpr std::int32_t kNoSignerSelected = 5067;
inline constexpr std::int32_t kCancelled = 5070;
inline constexpr std::int32_t kPersonalStoreOpenFailed = 5201;
inline constexpr std::int32_t kNoCertificateChain = 5202;
inline constexpr std::int32_t kProviderUnavailable = 5203;
inline constexpr std::int32_t kPrivateKeyNotFound = 5204;
inline constexpr std::int32_t kKeyNotExportable = 5205;
// kNoPrivateKey: where signing finds no private key; the table's message for
// 5206 speaks of denied access, but 5206 is the code callers test for it.
inline constexpr std::int32_t kNoPrivateKey = 5206;
inline constexpr std::int32_t kPersonalStoreDenied = 5206;
inline constexpr std::int32_t kPkcs12FormatError = 5207;
inline constexpr std::int32_t kPkcs12WrongPassword = 5208;
inline constexpr std::int32_t kPasswordMismatch = 5209;
inline constexpr std::int32_t kPfxAccessDenied = 5210;
inline constexpr std::int32_t kProviderDenied = 5211;
inline constexpr std::int32_t kCardNotReady = 5225;
inline constexpr std::int32_t kMemoryStoreOpenFailed = 5226;
inline constexpr std::int32_t kBadKeyLength = 5301;
inline constexpr std::int32_t kKeyGenerationFailed = 5302;
inline constexpr std::int32_t kAsn1EncodeFailed = 5305;
inline constexpr std::int32_t kPfxReadFailed = 5401;
inline constexpr std::int32_t kPfxWriteFailed = 5402;
inline constexpr std::int32_t kFileNotFound = 5902;
inline constexpr std::int32_t kInsufficientRights = 5906;
inline constexpr std::int32_t kCipherAlgorithm = 9001;
inline constexpr std::int32_t kCipherFormat = 9002;
inline constexpr std::int32_t kCipherKeyLength = 9003;
inline constexpr std::int32_t kEncryptFailed = 9004;
inline constexpr std::int32_t kDecryptFailed = 9005;
inline constexpr std::int32_t kNoDecryptCertificate = 9006;
}  // namespace codes

// errorMessageFormat: the UTF-8 message format of a code (one "%d" for the
// code), or an empty view when the code is not in the table.
std::string_view errorMessageFormat(std::int32_t code);

// ErrorText: the message of a code in the process code page, the code written
// in decimal in place of "%d". Never fails: a code outside the table gives
// "錯誤碼未定義(%d) " (with its trailing blank).
std::string ErrorText(std::int32_t code);

}  // namespace pennaform
