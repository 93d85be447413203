// Exporting a certificate of "MY" with its private key (and its chain) to a
// new PFX file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pfx/PfxOperations.h"
#include "platform/Platform.h"

namespace pennaform {

// Bits of ExportPfxFromIE's flags read here; the search bits go on to the
// certificate search.
namespace pfxExportBits {
inline constexpr std::int32_t kWithChain = 0x200;
inline constexpr std::int32_t kDeleteAfterExport = 0x1000;
}  // namespace pfxExportBits

// PfxExportRequest: what the caller asks; texts in the process code page.
struct PfxExportRequest {
    std::string filter;
    std::string folder;
    std::string password;
    std::int32_t flags = 0;
    std::int32_t keyUsage = 0;
    std::string defaultPrefix;  // the Engine's default PFX name; empty: the common name
    std::int32_t minPasswordLength = 0;
    std::int32_t maxPasswordLength = 16;
};

// PfxExportResult: the outcome, and on success the folder and name written.
struct PfxExportResult {
    PfxResult result;
    std::string folder;
    std::string name;
};

// exportFileName: the name of the exported file: the prefix, with ".pfx"
// unless it holds ".pfx" in any letter case; without a prefix the common
// name and ".pfx". Made safe to join to the chosen folder: '/' and NUL
// become '_'; nullopt for a name that would still leave it ("." or "..").
std::optional<std::string> exportFileName(std::string_view prefix, std::string_view commonName);

// safeFileName: `name` with '/' and NUL as '_'; nullopt for "." and "..".
std::optional<std::string> safeFileName(std::string name);

// exportPersonalCertificate: the whole export: the certificate the filter
// chooses in "MY" (the picker for several), the file name, the chain with
// kWithChain (complete and trusted chains only, the certificate itself
// once), the folder and password asked for when missing, the file written
// safely (the folder made when only its last level is missing), and with
// kDeleteAfterExport the certificate removed from "MY" once the file is on
// disk. On any failure "MY" is as it was and no file is written. Codes:
// 5201, the search's (5010, 5011, 5012, 5017), 5070, 5002, 5226, 5206,
// 5010 no reachable key, 5005 a file name that would leave the folder, the
// export's (5070 refused prompt, else 5205), 1001 no folder, 5402 the file
// cannot be written.
PfxExportResult exportPersonalCertificate(platform::Platform& platform,
                                          const PfxExportRequest& request);

}  // namespace pennaform
