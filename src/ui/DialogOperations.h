// The operations through which the engine asks the user: for a PFX file and
// its password, a password alone, a password change, an export target or an
// export source, a certificate of several, and consent to a signing.
//
// Each runs its dialog modally on `host` and copies the model back into the
// arguments passed by reference only when the user leaves with "確定". Texts
// are 8-bit in the process code page. The result is the component's code:
// 0 after "確定", 5070 after "取消" or closing the window, and the code named
// below when the host cannot show the dialog. Nothing is thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/PlatformDialogs.h"
#include "ui/dialogs/CertificateRow.h"
#include "ui/dialogs/SignConfirmDialog.h"

namespace pennaform::ui {

// The password range (minimum, maximum) is the engine's, normalised by the
// dialog. An empty `name` is replaced by "*.pfx" in the caller's variable
// before the dialog opens, and stays replaced when the user cancels.

// askPfxFile: dialog 202; on "確定" folder, name and password. 5002 when the
// dialog cannot be shown.
[[nodiscard]] std::int32_t askPfxFile(platform::PlatformDialogs& host, std::string& folder,
                                      std::string& name, std::string& password,
                                      std::int32_t minimum, std::int32_t maximum);

// askPasswordChange: dialog 203, the new password filling both the new and
// the confirmation field; on "確定" folder, name and old password, and the new
// password only when the confirmation equals it: otherwise 5209 and
// `newPassword` keeps its value. 5002 when the dialog cannot be shown.
[[nodiscard]] std::int32_t askPasswordChange(platform::PlatformDialogs& host, std::string& folder,
                                             std::string& name, std::string& oldPassword,
                                             std::string& newPassword, std::int32_t minimum,
                                             std::int32_t maximum);

// askExportTarget: dialog 206, the password filling both password fields; on
// "確定" folder, name and password. 5002 when the dialog cannot be shown.
[[nodiscard]] std::int32_t askExportTarget(platform::PlatformDialogs& host, std::string& folder,
                                           std::string& name, std::string& password,
                                           std::int32_t minimum, std::int32_t maximum);

// askPfxSource: dialog 207; on "確定" folder, name and password. 5002 when
// the dialog cannot be shown.
[[nodiscard]] std::int32_t askPfxSource(platform::PlatformDialogs& host, std::string& folder,
                                        std::string& name, std::string& password,
                                        std::int32_t minimum, std::int32_t maximum);

// askPassword: dialog 205; on "確定" the password typed (empty allowed) into
// `outPassword`. 5002 when the dialog cannot be shown.
[[nodiscard]] std::int32_t askPassword(platform::PlatformDialogs& host, std::string& outPassword);

// PickResult: the code of pickCertificate and, when it is 0, the position of
// the chosen certificate in the candidate list.
struct PickResult {
    std::int32_t code = 0;
    std::size_t position = 0;
};

// pickCertificate: dialog 204 over `candidates` (in that order). 5010 at once
// for an empty list, and when the picker cannot be shown.
[[nodiscard]] PickResult pickCertificate(platform::PlatformDialogs& host,
                                         std::span<const CertificateRow> candidates);

// confirmSigning: dialog 201 showing `details`: 0 after "確定(Ok)", 5070
// after "取消(Cancel)" or closing, 5002 when it cannot be shown.
[[nodiscard]] std::int32_t confirmSigning(platform::PlatformDialogs& host,
                                          const SigningDetails& details);

}  // namespace pennaform::ui
