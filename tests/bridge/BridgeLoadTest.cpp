// Many clients calling the bridge at once: every answer right and no
// connection dropped (the bridge benchmark runs the same load larger and
// measures it).
#include <gtest/gtest.h>

#include <thread>

#include "bridge/BridgeLoad.h"
#include "bridge/BridgeService.h"
#include "support/TemporaryFolder.h"

namespace pennaform::test {
namespace {

TEST(BridgeLoad, ClientsCallingAtOnceAllGetRightAnswersAndStayConnected) {
    TemporaryFolder folder;
    std::optional<LoadSigner> signer = installLoadSigner(folder.sub("home"));
    ASSERT_TRUE(signer);
    bridge::BridgeSettings settings;
    settings.port = 0;
    settings.homeOverride = folder.sub("home");
    auto service = bridge::BridgeService::start(std::move(settings));
    ASSERT_TRUE(service.ok()) << service.error();
    const std::uint16_t port = (*service)->port();

    LoadPlan plan;
    plan.clients = 10;
    plan.callsPerClient = 20;
    plan.signer = *signer;
    LoadReport report = runLoad(plan, [port](std::size_t) { return openBridgeChannel(port); });
    EXPECT_EQ(report.dropped, 0u);
    EXPECT_EQ(report.wrong, 0u) << ::testing::PrintToString(report.problems);
    EXPECT_EQ(report.correct, plan.clients * (plan.callsPerClient + 1));

    for (int i = 0; i < 200 && (*service)->openConnections() != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ((*service)->openConnections(), 0u);
}

}  // namespace
}  // namespace pennaform::test
