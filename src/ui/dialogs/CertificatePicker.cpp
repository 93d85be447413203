#include "ui/dialogs/CertificatePicker.h"

#include "ui/dialogs/DialogTexts.h"

namespace pennaform::ui {

CertificatePicker::CertificatePicker(std::span<const CertificateRow> candidates)
    : DialogForm(kTemplateId, uiText("請挑選您的憑證")), candidates_(candidates) {
    addGroupBox(uiText("憑證"));
    DialogControl& list = addListView(kListId);
    list.columns = {{uiText("憑證持有人"), 150},
                    {uiText("憑證序號"), 110},
                    {uiText("起始日"), 110},
                    {uiText("截止日"), 110},
                    {uiText("憑證發行者"), 180}};
    for (const CertificateRow& row : candidates_) {
        list.rows.push_back({row.holder, row.serial, row.notBefore, row.notAfter, row.issuer});
    }
    if (!candidates_.empty()) list.selectedRow = 0;
    addButton(kViewId, uiText("檢視憑證"));
    addButton(platform::kIdOk, uiText(texts::kOk)).isDefault = true;
    addButton(platform::kIdCancel, uiText(texts::kCancel));
}

std::size_t CertificatePicker::selectedPosition() const {
    return find(kListId)->selectedRow.value_or(0);
}

void CertificatePicker::onButton(int id, PlatformDialogs& host) {
    if (id != kViewId || candidates_.empty()) return;
    // The picker stays open whatever the viewer answers.
    (void)host.viewCertificate(candidates_[selectedPosition()].der, uiText("憑證內容"));
}

void CertificatePicker::onOk(PlatformDialogs&) {
    chosen_ = selectedPosition();
    finish(DialogEnd::kOk);
}

void CertificatePicker::onCancel() {
    finish(DialogEnd::kCancel);
}

}  // namespace pennaform::ui
