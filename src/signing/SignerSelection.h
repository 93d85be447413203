// SignerSelection: chooses the current signer: from the signer port when
// asked to restore, else from the personal store "MY" by a filter string
// (with the certificate picker when several qualify or the caller asks for
// it), else from a PFX file, and records it in the SignerState.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/SecretText.h"
#include "signing/SignerState.h"

namespace pennaform::signing {

// Bits of the selection flags read here (the search reads its own).
namespace selectionFlags {
inline constexpr std::int32_t kPickerAlways = 0x01;  // low two bits = 1
inline constexpr std::int32_t kPersonalStore = 0x0100;
inline constexpr std::int32_t kPfxFile = 0x0200;
inline constexpr std::int32_t kKeepPfx = 0x1000;
}  // namespace selectionFlags

// SelectionCall: the operation that selects; each asks for the PFX file its
// own way.
enum class SelectionCall { kSelectSigner, kSelectSignerEx, kSelectSignerEx2 };

// SelectionRequest: the caller's arguments, texts in the process code page.
struct SelectionRequest {
    SelectionCall call = SelectionCall::kSelectSigner;
    std::string_view filter;
    std::string_view pfxFolder;
    std::string_view pfxName;
    std::string_view password;  // SelectSignerEx only
    std::optional<platform::FileTime> compareTime;
    std::int32_t flags = 0;
    std::int32_t keyUsage = 0;
    std::int32_t port = 0;  // SelectSignerEx2: restore from the port when > 0
    std::int32_t minPasswordLength = 0;
    std::int32_t maxPasswordLength = 16;
};

// SelectionResult: the component's code and the platform error to keep.
struct SelectionResult {
    std::int32_t code = 0;
    platform::PlatformError capiError = 0;
};

// CompareDate: a parsed compare date: code 0 with the instant (nullopt for
// an empty text), or 5005.
struct CompareDate {
    std::int32_t code = 0;
    std::optional<platform::FileTime> time;
};

// parseCompareDate: "YYYYMMDDhhmmss" taken as it is (no local-to-UTC
// conversion), with `milliseconds` added; empty means none. 5005 for another
// length, a character that is not a digit, a field out of its range, or a
// date the calendar does not have (month or day 0, 30 February, a year
// before 1601).
CompareDate parseCompareDate(std::string_view text, int milliseconds);

// selectSigner: runs the selection on a state that the caller has already
// cleared (clearCurrentSigner). On success the state holds the signer (and,
// for a PFX file with kKeepPfx, the loaded file), and SelectSignerEx2 has
// saved it to the port. Codes: 0; 5201 "MY" cannot be opened; the search's
// 5010, 5011, 5012, 5017; 5070 the picker or a PFX dialog cancelled (the
// picker only when no PFX source follows); 5010 the picker cannot be shown,
// 5002 a PFX dialog cannot; the PFX load codes; 5906 access denied. Any
// code but 0 leaves no signer, except a failing reload of a kept file.
SelectionResult selectSigner(platform::Platform& platform, SignerState& state,
                             const SelectionRequest& request);

// restoreFromPort: the signer the port keeps, found again by its hash in
// "MY" or in its PFX file; false (the state untouched) when the port is
// absent, holds none, or its certificate is not found.
bool restoreFromPort(platform::Platform& platform, SignerState& state);

}  // namespace pennaform::signing
