#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "ui/hosts/DesktopDialogHost.h"

namespace pennaform::ui {
namespace {

// Windows that count how many are open at once, each staying up a moment.
class CountingWindows final : public DesktopWindows {
public:
    CountingWindows(std::atomic<int>& open, std::atomic<int>& most) : open_(open), most_(most) {}

    bool askYesNo(std::string_view, std::string_view) override {
        const int now = ++open_;
        for (int seen = most_; now > seen && !most_.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        --open_;
        return true;
    }
    platform::DialogEnd runDialog(platform::ModalDialog&, platform::PlatformDialogs&) override {
        return {};
    }
    void askMessage(std::string_view, std::string_view) override {}
    std::optional<std::string> chooseFile(const platform::FileChooserRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> chooseFolder(std::string_view) override { return std::nullopt; }
    void showText(std::string_view, std::string_view) override {}
    void open(platform::ModalDialog&, platform::PlatformDialogs&) override {}
    bool perform(const ScriptAction&) override { return false; }
    void close() override {}
    void showMessage(std::string_view, std::string_view) override {}
    std::optional<std::string> answerFileChooser(const platform::FileChooserRequest&,
                                                 const std::optional<std::string>&) override {
        return std::nullopt;
    }
    std::optional<std::string> answerFolderChooser(std::string_view,
                                                   const std::optional<std::string>&) override {
        return std::nullopt;
    }
    void dismissText(std::string_view, std::string_view) override {}
    bool answerYesNo(std::string_view, std::string_view, bool yes) override { return yes; }

private:
    std::atomic<int>& open_;
    std::atomic<int>& most_;
};

// The toolkit serves one thread at a time: hosts of several connections,
// asking from their own threads at once, show one window at a time.
TEST(DesktopHost, HostsOnSeveralThreadsShowOneWindowAtATime) {
    std::atomic<int> open{0};
    std::atomic<int> most{0};
    std::vector<std::thread> askers;
    for (int i = 0; i < 4; ++i) {
        askers.emplace_back([&] {
            DesktopDialogHost host(std::make_unique<CountingWindows>(open, most));
            EXPECT_TRUE(host.askYesNo("caption", "question").ok());
        });
    }
    for (std::thread& asker : askers) asker.join();
    EXPECT_EQ(most, 1);
}

}  // namespace
}  // namespace pennaform::ui
