// The PFX operations below the Engine: looking at and importing the keyed
// certificates of a file, giving a file a new password, and exporting a
// certificate of "MY" with its key. Each takes the platform and its inputs
// and gives back the component's code with the platform's number; the
// Engine's operations keep the error fields, the dialogs and the gate.
// Texts are 8-bit in the process code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace pennaform {

// PfxResult: the code (0 for success) and the platform's number.
struct PfxResult {
    std::int32_t code = 0;
    platform::PlatformError platformError = 0;
};

// PfxAcceptance: what a look at a file's keyed certificates found: the
// result and the encoding of the last certificate accepted.
struct PfxAcceptance {
    PfxResult result;
    platform::Bytes lastAccepted;
};

// loadFailureCode: the code of a failed load: the loader's, or 5906 when the
// platform denied access (NTE_PERM).
std::int32_t loadFailureCode(std::int32_t loaderCode, platform::PlatformError error);

// exportFailureCode: the code of a failed PFX export by its platform error:
// 5070 when the user refused a protected key (ERROR_CANCELLED), 5204 for a
// missing key (NTE_NO_KEY), 5205 for one that may not be exported
// (NTE_BAD_KEY), else 5210.
std::int32_t exportFailureCode(platform::PlatformError error);

// queryPfxCertificates: loads the file at `path` with its keys in memory
// only and accepts, in the file's order, each certificate that has a
// private key and, when `keyUsage` > 0, every bit of it in its key-usage
// byte. 0 with the last accepted certificate; else the loader's codes
// (5906 for access denied), or the last refusal while none was accepted:
// 5204 no key, 5017 key usage, 5010 no certificate. No key stays behind.
PfxAcceptance queryPfxCertificates(platform::Platform& platform, const std::string& path,
                                   std::string_view password, std::int32_t flags,
                                   std::int32_t keyUsage);

// importPfxCertificates: as queryPfxCertificates, and each accepted
// certificate is added to "MY" bound to the key container the import made
// for it (exportable and user-protected as `flags` say). The containers and
// the certificates are made in one change of the user's state: a failure or
// a crash leaves none of them, and no container is kept that no accepted
// certificate names. Besides the codes of the query: 5201 (or 5906 for
// NTE_PERM) when "MY" cannot be changed, 5010 when no certificate could be
// added.
PfxAcceptance importPfxCertificates(platform::Platform& platform, const std::string& path,
                                    std::string_view password, std::int32_t flags,
                                    std::int32_t keyUsage);

// changePfxPassword: rewrites the file at `path` under `newPassword` once
// `oldPassword` opens it, losing nothing of it, and replaces the file that
// the path names (through a link) safely, keeping its mode. The loader's
// codes (5208 wrong password, 5401 unreadable or empty, 5906), the codes of
// exportFailureCode, 1103 when the file cannot be written; on failure the
// file is left as it was.
PfxResult changePfxPassword(platform::Platform& platform, const std::string& path,
                            std::string_view oldPassword, std::string_view newPassword);

}  // namespace pennaform
