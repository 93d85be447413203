// The signer port between two `pennaform session` processes of one home: a
// signer selected in one is restored in the other with no dialog.
#include <gtest/gtest.h>

#include "support/SessionDriver.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"

namespace pennaform::test {
namespace {

TEST(SignerPortProcesses, ASignerSelectedInOneSessionIsRestoredInAnother) {
    TemporaryFolder folder, runtime;
    TestCa ca;
    const std::string home = folder.sub("home");
    ASSERT_TRUE(ca.certificate("root", {"--ca", "--subject", "/C=TW/O=Test/CN=Root"}));
    ASSERT_TRUE(
        ca.certificate("wang", {"--subject", "/C=TW/O=Bank/CN=Wang", "--issuer-cert",
                                ca.path("root.der"), "--issuer-key", ca.path("root.key.pem")}));
    ASSERT_EQ(ca.run({"install", "--home", home, "--store", "MY", "--cert", ca.path("wang.der"),
                      "--key", ca.path("wang.key.pem")})
                  .exitStatus,
              0);
    const std::string answers = folder.file("answers.json", "[]");
    auto session = [&](const std::string& transcript) {
        return SessionDriver::start({"--home", home, "--dialogs", "scripted", "--answers", answers,
                                     "--transcript", folder.sub(transcript)},
                                    {{"XDG_RUNTIME_DIR", runtime.path()}});
    };
    auto first = session("first.jsonl");
    auto second = session("second.jsonl");
    ASSERT_TRUE(first && second);

    auto selected =
        first->call("SelectSignerEx2", "S_C=TW,S_O=Bank,S_CN=Wang", "", "", 0, "", 0, 0);
    ASSERT_TRUE(selected);
    ASSERT_EQ(selected->errorCode, 0);
    auto finger = first->call("GetCertFinger");
    ASSERT_TRUE(finger);

    // The second one asks for nobody and still gets the signer, from the port.
    auto restored = second->call("SelectSignerEx2", "S_CN=Nobody", "", "", 1, "", 0x108, 0);
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->errorCode, 0);
    auto restoredFinger = second->call("GetCertFinger");
    ASSERT_TRUE(restoredFinger);
    EXPECT_EQ(restoredFinger->result, finger->result);
    EXPECT_EQ(second->call("GetSignerPfxFilePath")->result, "");
    EXPECT_EQ(first->close(), 0);
    EXPECT_EQ(second->close(), 0);
    EXPECT_EQ(fileText(folder.sub("first.jsonl")), "");
    EXPECT_EQ(fileText(folder.sub("second.jsonl")), "");
}

}  // namespace
}  // namespace pennaform::test
