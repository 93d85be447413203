// CertificatePicker (dialog 204): lets the user choose one certificate of a
// list, shown one row per certificate with five columns; the first row is
// chosen unless the user selects another.
#pragma once

#include <cstddef>
#include <span>

#include "ui/dialogs/CertificateRow.h"
#include "ui/dialogs/DialogForm.h"

namespace pennaform::ui {

class CertificatePicker final : public DialogForm {
public:
    static constexpr int kTemplateId = 204;
    static constexpr int kListId = 301;
    static constexpr int kViewId = 302;

    // The picker over `candidates`, which stay the caller's and must outlive
    // the picker; row 0 selected.
    explicit CertificatePicker(std::span<const CertificateRow> candidates);

    // chosenPosition: the row chosen on "確定" (0 until then).
    std::size_t chosenPosition() const { return chosen_; }

private:
    void onOk(PlatformDialogs& host) override;
    void onCancel() override;
    void onButton(int id, PlatformDialogs& host) override;
    // selectedPosition: the selected row, or row 0 when none is selected.
    std::size_t selectedPosition() const;

    std::span<const CertificateRow> candidates_;
    std::size_t chosen_ = 0;
};

}  // namespace pennaform::ui
