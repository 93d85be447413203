// The headless host, the library's default: every operation that needs a
// dialog reports the code it gives for a dialog that cannot be created, and
// nothing waits for input.
#include <gtest/gtest.h>

#include "engine/Engine.h"
#include "ui/DialogOperations.h"
#include "ui/hosts/HeadlessDialogHost.h"

namespace pennaform::test {
namespace {

TEST(HeadlessDialogHost, EveryDialogReportsItsCannotBeCreatedCode) {
    Engine engine;
    ASSERT_EQ(engine.platform().dialogs(), nullptr);  // nothing installed: headless
    platform::PlatformDialogs& host = ui::dialogHostOf(engine.platform());
    std::string folder = "/c", name, password = "kept";
    EXPECT_EQ(ui::askPfxFile(host, folder, name, password, 0, 16), 5002);
    EXPECT_EQ(password, "kept");
    std::string oldPassword, newPassword;
    EXPECT_EQ(ui::askPasswordChange(host, folder, name, oldPassword, newPassword, 0, 16), 5002);
    EXPECT_EQ(ui::askExportTarget(host, folder, name, password, 0, 16), 5002);
    EXPECT_EQ(ui::askPfxSource(host, folder, name, password, 0, 16), 5002);
    EXPECT_EQ(ui::askPassword(host, password), 5002);
    std::vector<ui::CertificateRow> rows(2);
    EXPECT_EQ(ui::pickCertificate(host, rows).code, 5010);
    EXPECT_EQ(ui::confirmSigning(host, {}), 5002);
}

TEST(HeadlessDialogHost, ThePlatformServicesRefuseAtOnce) {
    ui::HeadlessDialogHost host;
    auto file = host.chooseFile({"請選擇檔案", {{"All Files (*.*)", "*.*"}}, ""});
    EXPECT_EQ(file.error(), platform::errors::kErrorNotSupported);
    EXPECT_EQ(host.chooseFolder("t").error(), platform::errors::kErrorNotSupported);
    platform::Bytes der{0x30, 0x00};
    EXPECT_EQ(host.viewCertificate(der, "t").error(), platform::errors::kErrorNotSupported);
    EXPECT_EQ(host.confirmKeyUse({}).error(), platform::errors::kNteSilentContext);
}

TEST(HeadlessDialogHost, AnInstalledHostIsTheOneInUse) {
    Engine engine;
    auto installed = std::make_unique<ui::HeadlessDialogHost>();
    platform::PlatformDialogs* expected = installed.get();
    engine.platform().installDialogs(std::move(installed));
    EXPECT_EQ(&ui::dialogHostOf(engine.platform()), expected);
}

}  // namespace
}  // namespace pennaform::test
