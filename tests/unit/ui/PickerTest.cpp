// The certificate picker and the signing confirmation driven like a user,
// the rows made from certificates, and what the operations hand back.
#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "certificates/CertWrapper.h"
#include "engine/Engine.h"
#include "support/TestCa.h"
#include "ui/DialogOperations.h"
#include "ui/dialogs/CertificatePicker.h"

namespace pennaform::test {
namespace {

using platform::DialogEnd;
using platform::kIdCancel;
using platform::kIdOk;

std::vector<ui::CertificateRow> threeRows() {
    std::vector<ui::CertificateRow> rows;
    for (std::uint8_t i = 1; i <= 3; ++i) {
        std::string n = std::to_string(i);
        rows.push_back({"Holder " + n, "0" + n, "2024/01/0" + n, "2026/01/0" + n, "CA", {0x30, i}});
    }
    return rows;
}

TEST(CertificateRow, NamesWithoutACommonNameShowInFull) {
    TestCa ca;
    auto root =
        ca.certificate("root", {"--ca", "--subject", "/C=TW/O=Example Root", "--key-bits", "1024"});
    ASSERT_TRUE(root) << ca.lastError();
    auto issued = [&](const std::string& name, const std::string& subject) {
        return ca.certificate(
            name, {"--subject", subject, "--serial", "00A1", "--issuer-cert", ca.path("root.der"),
                   "--issuer-key", ca.path("root.key.pem"), "--key-bits", "1024"});
    };
    auto unnamed = issued("unnamed", "/C=TW/O=Example/OU=Signing");
    auto named = issued("named", "/C=TW/O=Example/CN=Alice");
    ASSERT_TRUE(unnamed && named) << ca.lastError();

    Engine engine;
    CertWrapper certificate(engine.platform(), *unnamed);
    ASSERT_TRUE(certificate.loaded());
    ui::CertificateRow row = ui::CertificateRow::from(certificate);
    EXPECT_EQ(row.holder, "C=TW, O=Example, OU=Signing");
    EXPECT_EQ(row.issuer, "C=TW, O=Example Root");
    EXPECT_EQ(row.serial, "00A1");
    EXPECT_EQ(row.notBefore, certificate.notBeforeDate());
    EXPECT_EQ(row.notBefore.size(), 10u);  // YYYY/MM/DD
    EXPECT_EQ(row.notAfter, certificate.notAfterDate());
    EXPECT_EQ(row.der, *unnamed);

    CertWrapper alice(engine.platform(), *named);
    EXPECT_EQ(ui::CertificateRow::from(alice).holder, "Alice");
}

TEST(CertificatePicker, ShowsEveryCandidateInOrderWithTheFirstSelected) {
    std::vector<ui::CertificateRow> rows = threeRows();
    ui::CertificatePicker picker(rows);
    EXPECT_EQ(picker.title(), "請挑選您的憑證");
    const platform::DialogControl& list = control(picker, 301);
    ASSERT_EQ(list.columns.size(), 5u);
    EXPECT_EQ(list.columns[0].heading, "憑證持有人");
    EXPECT_EQ(list.columns[0].width, 150);
    EXPECT_EQ(list.columns[1].heading, "憑證序號");
    EXPECT_EQ(list.columns[2].heading, "起始日");
    EXPECT_EQ(list.columns[3].heading, "截止日");
    EXPECT_EQ(list.columns[4].heading, "憑證發行者");
    EXPECT_EQ(list.columns[4].width, 180);
    ASSERT_EQ(list.rows.size(), 3u);
    EXPECT_EQ(list.rows[2],
              (std::vector<std::string>{"Holder 3", "03", "2024/01/03", "2026/01/03", "CA"}));
    EXPECT_EQ(list.selectedRow, 0u);
    EXPECT_TRUE(control(picker, kIdOk).isDefault);
}

TEST(CertificatePicker, OkTakesTheSelectionOrTheFirstRow) {
    std::vector<ui::CertificateRow> rows = threeRows();
    RecordingHost host;
    host.user = [&](platform::ModalDialog& dialog) { dialog.press(kIdOk, host); };
    ui::PickResult atOnce = ui::pickCertificate(host, rows);
    EXPECT_EQ(atOnce.code, 0);
    EXPECT_EQ(atOnce.position, 0u);

    host.user = [&](platform::ModalDialog& dialog) {
        EXPECT_TRUE(dialog.selectRow(301, 2));
        EXPECT_TRUE(dialog.selectRow(301, std::nullopt));  // a click on an empty area
        dialog.press(kIdOk, host);
    };
    ui::PickResult cleared = ui::pickCertificate(host, rows);
    EXPECT_EQ(cleared.code, 0);
    EXPECT_EQ(cleared.position, 0u);

    host.user = [&](platform::ModalDialog& dialog) {
        EXPECT_FALSE(dialog.selectRow(301, 3));  // no such row
        dialog.selectRow(301, 2);
        dialog.press(kIdOk, host);
    };
    EXPECT_EQ(ui::pickCertificate(host, rows).position, 2u);
}

TEST(CertificatePicker, TheViewerShowsTheSelectedCertificateAndThePickerStays) {
    std::vector<ui::CertificateRow> rows = threeRows();
    RecordingHost host;
    ui::CertificatePicker picker(rows);
    picker.selectRow(301, 1);
    EXPECT_TRUE(picker.press(302, host));
    EXPECT_FALSE(picker.end());
    ASSERT_EQ(host.viewed.size(), 1u);
    EXPECT_EQ(host.viewed[0].first, rows[1].der);
    EXPECT_EQ(host.viewed[0].second, "憑證內容");
    picker.selectRow(301, std::nullopt);
    picker.press(302, host);
    EXPECT_EQ(host.viewed.back().first, rows[0].der);
}

TEST(CertificatePicker, CancelAndAnEmptyListChooseNothing) {
    std::vector<ui::CertificateRow> rows = threeRows();
    RecordingHost host;
    host.user = [&](platform::ModalDialog& dialog) { dialog.press(kIdCancel, host); };
    EXPECT_EQ(ui::pickCertificate(host, rows).code, 5070);
    host.user = [&](platform::ModalDialog& dialog) { dialog.closeWindow(); };
    EXPECT_EQ(ui::pickCertificate(host, rows).code, 5070);
    int shownBefore = host.dialogsShown;
    EXPECT_EQ(ui::pickCertificate(host, {}).code, 5010);
    EXPECT_EQ(host.dialogsShown, shownBefore);  // not shown at all
}

TEST(SignConfirmDialog, ShowsTheFiveTextsUnchangedAndReadOnly) {
    ui::SigningDetails details{"line one\r\nline two", "0A1B", "Alice", "20240101080000",
                               "20260101075959"};
    RecordingHost host;
    host.user = [&](platform::ModalDialog& dialog) {
        EXPECT_EQ(dialog.templateId(), 201);
        EXPECT_EQ(dialog.title(), "執行簽章(Sign with this Certificate)");
        const std::vector<std::pair<int, std::string>> expected = {{301, details.text},
                                                                   {302, details.serial},
                                                                   {303, details.commonName},
                                                                   {304, details.notBefore},
                                                                   {305, details.notAfter}};
        for (const auto& [id, text] : expected) {
            EXPECT_EQ(control(dialog, id).text, text);
            EXPECT_TRUE(control(dialog, id).readOnly);
            EXPECT_FALSE(dialog.typeText(id, "edited"));
        }
        EXPECT_TRUE(control(dialog, 301).multiline);
        EXPECT_EQ(control(dialog, kIdOk).text, "確定(Ok)");
        EXPECT_TRUE(control(dialog, kIdOk).isDefault);
        EXPECT_EQ(control(dialog, kIdCancel).text, "取消(Cancel)");
        dialog.press(kIdOk, host);
    };
    EXPECT_EQ(ui::confirmSigning(host, details), 0);
    host.user = [&](platform::ModalDialog& dialog) { dialog.press(kIdCancel, host); };
    EXPECT_EQ(ui::confirmSigning(host, details), 5070);
}

}  // namespace
}  // namespace pennaform::test
