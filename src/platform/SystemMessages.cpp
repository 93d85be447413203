#include "platform/SystemMessages.h"

#include <algorithm>
#include <array>

namespace pennaform::platform {
namespace {

using namespace errors;

struct SystemMessage {
    PlatformError number;
    std::string_view text;
};

// The system returns every text followed by CR LF, so the CR LF is part of
// each entry. A few texts have no final period; the system returns them so.
// Sorted by number (unsigned), which systemMessageText relies on.
constexpr SystemMessage kSystemMessages[] = {
    {kErrorFileNotFound, "The system cannot find the file specified.\r\n"},
    {kErrorPathNotFound, "The system cannot find the path specified.\r\n"},
    {kErrorAccessDenied, "Access is denied.\r\n"},
    // Windows 10 and later say "memory resources"; older systems and the
    // published error list say "Not enough storage is available to process
    // this command." The current wording is the one callers see today.
    {kErrorNotEnoughMemory,
     "Not enough memory resources are available to process this command.\r\n"},
    // Same choice as above; older wording: "Not enough storage is available
    // to complete this operation."
    {kErrorOutOfMemory,
     "Not enough memory resources are available to complete this operation.\r\n"},
    {kErrorBadLength, "The program issued a command but the command length is incorrect.\r\n"},
    {kErrorSharingViolation,
     "The process cannot access the file because it is being used by another process.\r\n"},
    {kErrorNotSupported, "The request is not supported.\r\n"},
    {kErrorInvalidPassword, "The specified network password is not correct.\r\n"},
    {kErrorInvalidParameter, "The parameter is incorrect.\r\n"},
    {kErrorBufferOverflow, "The file name is too long.\r\n"},
    {kErrorDiskFull, "There is not enough space on the disk.\r\n"},
    {kErrorInsufficientBuffer, "The data area passed to a system call is too small.\r\n"},
    {kErrorAlreadyExists, "Cannot create a file when that file already exists.\r\n"},
    {kErrorNoData, "The pipe is being closed.\r\n"},
    {kErrorMoreData, "More data is available.\r\n"},
    {kErrorNoMoreItems, "No more data is available.\r\n"},
    // Returned with its inserts unexpanded, as FORMAT_MESSAGE_IGNORE_INSERTS does.
    {kErrorMrMidNotFound,
     "The system cannot find message text for message number 0x%1 in the message file for "
     "%2.\r\n"},
    {kErrorIoDevice, "The request could not be performed because of an I/O device error.\r\n"},
    {kErrorCancelled, "The operation was canceled by the user.\r\n"},
    {kErrorFileCorrupt, "The file or directory is corrupted and unreadable.\r\n"},
    {kRpcSStringTooLong, "The string is too long.\r\n"},
    {kErrorObjectNotFound, "The object identifier does not represent a valid object.\r\n"},

    // HRESULT forms share the text of their Win32 number (ERROR_OUTOFMEMORY,
    // ERROR_INVALID_PARAMETER), with the same wording choice as 14 above.
    {kEOutOfMemory, "Not enough memory resources are available to complete this operation.\r\n"},
    {kEInvalidArg, "The parameter is incorrect.\r\n"},

    {kNteBadUid, "Bad UID.\r\n"},
    {kNteBadHash, "Bad Hash.\r\n"},
    {kNteBadKey, "Bad Key.\r\n"},
    {kNteBadLen, "Bad Length.\r\n"},
    {kNteBadData, "Bad Data.\r\n"},
    {kNteBadSignature, "Invalid Signature.\r\n"},
    {kNteBadVer, "Bad Version of provider.\r\n"},
    {kNteBadAlgId, "Invalid algorithm specified.\r\n"},
    {kNteBadFlags, "Invalid flags specified.\r\n"},
    {kNteBadType, "Invalid type specified.\r\n"},
    {kNteBadKeyState, "Key not valid for use in specified state.\r\n"},
    {kNteBadHashState, "Hash not valid for use in specified state.\r\n"},
    {kNteNoKey, "Key does not exist.\r\n"},
    {kNteNoMemory, "Insufficient memory available for the operation.\r\n"},
    {kNteExists, "Object already exists.\r\n"},
    {kNtePerm, "Access denied.\r\n"},
    {kNteNotFound, "Object was not found.\r\n"},
    {kNteBadProvider, "Invalid provider specified.\r\n"},
    {kNteBadProvType, "Invalid provider type specified.\r\n"},
    {kNteBadPublicKey, "Provider's public key is invalid.\r\n"},
    // No final period: the system's own text ends without one.
    {kNteBadKeyset, "Keyset does not exist\r\n"},
    {kNteProvTypeNotDef, "Provider type not defined.\r\n"},
    {kNteProvTypeEntryBad, "Provider type as registered is invalid.\r\n"},
    {kNteKeysetNotDef, "The keyset is not defined.\r\n"},
    {kNteKeysetEntryBad, "Keyset as registered is invalid.\r\n"},
    {kNteProvTypeNoMatch, "Provider type does not match registered value.\r\n"},
    {kNteProviderDllFail, "Provider DLL failed to initialize correctly.\r\n"},
    {kNteProvDllNotFound, "Provider DLL could not be found.\r\n"},
    {kNteBadKeysetParam, "The Keyset parameter is invalid.\r\n"},
    {kNteFail, "An internal error occurred.\r\n"},
    {kNteSysErr, "A base error occurred.\r\n"},
    {kNteSilentContext,
     "Provider could not perform the action since the context was acquired as silent.\r\n"},
    {kNteInvalidParameter, "The parameter is incorrect.\r\n"},
    {kNteBufferTooSmall, "The buffer supplied to a function was too small.\r\n"},
    {kNteNotSupported, "The requested operation is not supported.\r\n"},

    {kCryptEMsgError,
     "An error occurred while performing an operation on a cryptographic message.\r\n"},
    {kCryptEUnknownAlgo, "Unknown cryptographic algorithm.\r\n"},
    {kCryptEOidFormat, "The object identifier is poorly formatted.\r\n"},
    {kCryptEInvalidMsgType, "Invalid cryptographic message type.\r\n"},
    {kCryptEUnexpectedEncoding, "Unexpected cryptographic message encoding.\r\n"},
    {kCryptERecipientNotFound,
     "The enveloped-data message does not contain the specified recipient.\r\n"},
    {kCryptEBadLen, "The length specified for the output data was insufficient.\r\n"},
    {kCryptEBadEncode, "An error occurred during encode or decode operation.\r\n"},
    {kCryptEFileError, "An error occurred while reading or writing to a file.\r\n"},
    {kCryptENotFound, "Cannot find object or property.\r\n"},
    {kCryptEExists, "The object or property already exists.\r\n"},
    {kCryptENoProvider, "No provider was specified for the store or object.\r\n"},
    {kCryptENoMatch, "Cannot find the requested object.\r\n"},
    // The system's message file carries, for this number, the text that
    // names the next error's condition (its entries are shifted by one here),
    // and that is what FormatMessage returns on Windows. Headers of other
    // toolchains describe the message type instead ("The type of the
    // cryptographic message being decoded is different than what was
    // expected."); the system's text is kept.
    {kCryptEUnexpectedMsgType,
     "The certificate does not have a property that references a private key.\r\n"},
    {kCryptENoKeyProperty, "Cannot find the certificate and private key for decryption.\r\n"},
    {kCryptENoDecryptCert,
     "Cannot find the certificate and private key to use for decryption.\r\n"},
    {kCryptEBadMsg,
     "Not a cryptographic message or the cryptographic message is not formatted correctly.\r\n"},
    {kCryptERevoked, "The certificate is revoked.\r\n"},
    {kCryptEInvalidX500String,
     "The string contains an invalid X500 name attribute key, oid, value or delimiter.\r\n"},
    {kCryptEAsn1Eod, "ASN1 unexpected end of data.\r\n"},
    {kCryptEAsn1Corrupt, "ASN1 corrupted data.\r\n"},
    {kCryptEAsn1BadTag, "ASN1 bad tag value met.\r\n"},
};

constexpr bool isSortedByNumber() {
    for (std::size_t i = 1; i < std::size(kSystemMessages); ++i) {
        if (kSystemMessages[i - 1].number >= kSystemMessages[i].number) return false;
    }
    return true;
}
static_assert(isSortedByNumber(), "kSystemMessages must be sorted by number without repeats");

constexpr auto makeNumbers() {
    std::array<PlatformError, std::size(kSystemMessages)> numbers{};
    for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = kSystemMessages[i].number;
    return numbers;
}
constexpr auto kNumbers = makeNumbers();

}  // namespace

std::optional<std::string_view> systemMessageText(PlatformError number) {
    const auto* end = std::end(kSystemMessages);
    const auto* it = std::lower_bound(
        std::begin(kSystemMessages), end, number,
        [](const SystemMessage& entry, PlatformError n) { return entry.number < n; });
    if (it == end || it->number != number) return std::nullopt;
    return it->text;
}

std::span<const PlatformError> systemMessageNumbers() {
    return kNumbers;
}

}  // namespace pennaform::platform
