// PlatformError: the error numbers the platform layer reports. They are the
// numbers Windows gives for the same failures, because the component hands
// them to its caller (GetCapiErrorCode, GetCapiErrorMsg) and maps some of
// them to its own codes.
#pragma once

#include <cstdint>

namespace pennaform::platform {

// PlatformError: a Win32 error number (below 0x10000) or an HRESULT
// (0x8xxxxxxx). 0 means success and is never the error of a failure.
using PlatformError = std::uint32_t;

namespace errors {

inline constexpr PlatformError kSuccess = 0;

// Win32 error numbers.
inline constexpr PlatformError kErrorFileNotFound = 2;
inline constexpr PlatformError kErrorPathNotFound = 3;
inline constexpr PlatformError kErrorAccessDenied = 5;
inline constexpr PlatformError kErrorNotEnoughMemory = 8;
inline constexpr PlatformError kErrorOutOfMemory = 14;
inline constexpr PlatformError kErrorSharingViolation = 32;
inline constexpr PlatformError kErrorBadLength = 24;
inline constexpr PlatformError kErrorNotSupported = 50;
inline constexpr PlatformError kErrorInvalidPassword = 86;
inline constexpr PlatformError kErrorInvalidParameter = 87;
inline constexpr PlatformError kErrorBufferOverflow = 111;
inline constexpr PlatformError kErrorDiskFull = 112;
inline constexpr PlatformError kErrorInsufficientBuffer = 122;
inline constexpr PlatformError kErrorAlreadyExists = 183;
inline constexpr PlatformError kErrorNoData = 232;
inline constexpr PlatformError kErrorMoreData = 234;
inline constexpr PlatformError kErrorNoMoreItems = 259;
inline constexpr PlatformError kErrorMrMidNotFound = 317;  // no message text for a number
inline constexpr PlatformError kErrorKeyDeleted = 1018;
inline constexpr PlatformError kErrorNoUnicodeTranslation = 1113;
inline constexpr PlatformError kErrorIoDevice = 1117;
inline constexpr PlatformError kErrorCancelled = 1223;
inline constexpr PlatformError kErrorFileCorrupt = 1392;
inline constexpr PlatformError kRpcSStringTooLong = 1743;
inline constexpr PlatformError kErrorObjectNotFound = 4312;

// HRESULT forms of Win32 errors (facility 7).
inline constexpr PlatformError kEOutOfMemory = 0x8007000E;  // of ERROR_OUTOFMEMORY
inline constexpr PlatformError kEInvalidArg = 0x80070057;   // of ERROR_INVALID_PARAMETER

// Cryptographic service provider errors (NTE_*).
inline constexpr PlatformError kNteBadUid = 0x80090001;
inline constexpr PlatformError kNteBadHash = 0x80090002;
inline constexpr PlatformError kNteBadKey = 0x80090003;
inline constexpr PlatformError kNteBadLen = 0x80090004;
inline constexpr PlatformError kNteBadData = 0x80090005;
inline constexpr PlatformError kNteBadSignature = 0x80090006;
inline constexpr PlatformError kNteBadVer = 0x80090007;
inline constexpr PlatformError kNteBadAlgId = 0x80090008;
inline constexpr PlatformError kNteBadFlags = 0x80090009;
inline constexpr PlatformError kNteBadType = 0x8009000A;
inline constexpr PlatformError kNteBadKeyState = 0x8009000B;
inline constexpr PlatformError kNteBadHashState = 0x8009000C;
inline constexpr PlatformError kNteNoKey = 0x8009000D;
inline constexpr PlatformError kNteNoMemory = 0x8009000E;
inline constexpr PlatformError kNteExists = 0x8009000F;
inline constexpr PlatformError kNtePerm = 0x80090010;  // access denied
inline constexpr PlatformError kNteNotFound = 0x80090011;
inline constexpr PlatformError kNteBadProvider = 0x80090013;
inline constexpr PlatformError kNteBadProvType = 0x80090014;
inline constexpr PlatformError kNteBadPublicKey = 0x80090015;
inline constexpr PlatformError kNteBadKeyset = 0x80090016;
inline constexpr PlatformError kNteProvTypeNotDef = 0x80090017;
inline constexpr PlatformError kNteProvTypeEntryBad = 0x80090018;
inline constexpr PlatformError kNteKeysetNotDef = 0x80090019;
inline constexpr PlatformError kNteKeysetEntryBad = 0x8009001A;
inline constexpr PlatformError kNteProvTypeNoMatch = 0x8009001B;
inline constexpr PlatformError kNteProviderDllFail = 0x8009001D;
inline constexpr PlatformError kNteProvDllNotFound = 0x8009001E;
inline constexpr PlatformError kNteBadKeysetParam = 0x8009001F;
inline constexpr PlatformError kNteFail = 0x80090020;
inline constexpr PlatformError kNteSysErr = 0x80090021;
inline constexpr PlatformError kNteSilentContext = 0x80090022;
inline constexpr PlatformError kNteInvalidParameter = 0x80090027;
inline constexpr PlatformError kNteBufferTooSmall = 0x80090028;
inline constexpr PlatformError kNteNotSupported = 0x80090029;

// Certificate, message and encoding errors (CRYPT_E_*).
inline constexpr PlatformError kCryptEMsgError = 0x80091001;
inline constexpr PlatformError kCryptEUnknownAlgo = 0x80091002;
inline constexpr PlatformError kCryptEOidFormat = 0x80091003;
inline constexpr PlatformError kCryptEInvalidMsgType = 0x80091004;
inline constexpr PlatformError kCryptEUnexpectedEncoding = 0x80091005;
inline constexpr PlatformError kCryptERecipientNotFound = 0x8009100B;
inline constexpr PlatformError kCryptEBadLen = 0x80092001;
inline constexpr PlatformError kCryptEBadEncode = 0x80092002;
inline constexpr PlatformError kCryptEFileError = 0x80092003;
inline constexpr PlatformError kCryptENotFound = 0x80092004;
inline constexpr PlatformError kCryptEExists = 0x80092005;
inline constexpr PlatformError kCryptENoProvider = 0x80092006;
inline constexpr PlatformError kCryptENoMatch = 0x80092009;
inline constexpr PlatformError kCryptEUnexpectedMsgType = 0x8009200A;
inline constexpr PlatformError kCryptENoKeyProperty = 0x8009200B;
inline constexpr PlatformError kCryptENoDecryptCert = 0x8009200C;
inline constexpr PlatformError kCryptEBadMsg = 0x8009200D;
inline constexpr PlatformError kCryptERevoked = 0x80092010;
inline constexpr PlatformError kCryptEInvalidX500String = 0x80092023;
inline constexpr PlatformError kCryptEAsn1Eod = 0x80093102;
inline constexpr PlatformError kCryptEAsn1Corrupt = 0x80093103;
inline constexpr PlatformError kCryptEAsn1BadTag = 0x8009310B;

}  // namespace errors
}  // namespace pennaform::platform
