// SignConfirmDialog (dialog 201): shows the text about to be signed and the
// signing certificate, and lets the user go on or stop. It has no checks.
#pragma once

#include <string>

#include "ui/dialogs/DialogForm.h"

namespace pennaform::ui {

// SigningDetails: the five texts the confirmation shows, unchanged (process
// code page): the text to be signed, the certificate's serial number and
// common name, and its validity bounds.
struct SigningDetails {
    std::string text;
    std::string serial;
    std::string commonName;
    std::string notBefore;
    std::string notAfter;
};

class SignConfirmDialog final : public DialogForm {
public:
    static constexpr int kTemplateId = 201;
    static constexpr int kTextId = 301;
    static constexpr int kSerialId = 302;
    static constexpr int kCommonNameId = 303;
    static constexpr int kNotBeforeId = 304;
    static constexpr int kNotAfterId = 305;

    explicit SignConfirmDialog(const SigningDetails& details);

private:
    void onOk(PlatformDialogs& host) override;
    void onCancel() override;
};

}  // namespace pennaform::ui
