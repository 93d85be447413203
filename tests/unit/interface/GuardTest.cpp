// The guard of the C boundary: every exception becomes a code, kept on the
// Engine the call reached, and an operation that throws reaches no caller of
// the control.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "interface/CapiControl.h"
#include "interface/Dispatcher.h"
#include "interface/Guard.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

struct Thrower {
    const char* what;
    std::function<void()> raise;
    std::int32_t code;
};

const Thrower kThrowers[] = {
    {"bad_alloc", [] { throw std::bad_alloc(); }, codes::kOutOfMemory},
    {"bad_array_new_length", [] { throw std::bad_array_new_length(); }, codes::kOutOfMemory},
    {"runtime_error", [] { throw std::runtime_error("x"); }, codes::kGeneral},
    {"int", [] { throw 7; }, codes::kGeneral},
};

TEST(Guard, EveryExceptionBecomesTheCodeOfItsKind) {
    for (const Thrower& t : kThrowers) {
        std::int32_t answer = guarded(
            [&]() -> std::int32_t {
                t.raise();
                return 1;
            },
            [](std::int32_t code) { return code; });
        EXPECT_EQ(answer, t.code) << t.what;
    }
    EXPECT_EQ(guarded([] { return 1; }, [](std::int32_t) { return -1; }), 1);
}

TEST(Guard, TheCodeStaysOnTheEngineTheCallReached) {
    test::TemporaryFolder home;
    Engine engine(EngineConfig{home.sub("state"), false});
    auto source = [&]() -> Engine& { return engine; };
    for (const Thrower& t : kThrowers) {
        engine.setErrorCode(0);
        std::optional<bool> reached;
        int answer = guardedEngineCall(
            source,
            [&](Engine&) -> int {
                t.raise();
                return 1;
            },
            [&](std::int32_t code, bool engineReached) {
                reached = engineReached;
                return -code;
            });
        EXPECT_EQ(answer, -t.code) << t.what;
        EXPECT_EQ(reached, true) << t.what;
        EXPECT_EQ(engine.GetErrorCode(), t.code) << t.what;
    }
    // A call that returns leaves the Engine's code to the operation.
    engine.setErrorCode(5004);
    EXPECT_EQ(guardedEngineCall(
                  source, [](Engine&) { return 1; }, [](std::int32_t, bool) { return -1; }),
              1);
    EXPECT_EQ(engine.GetErrorCode(), 5004);
}

TEST(Guard, AnEngineThatCannotBeBuiltAnswersWithoutOne) {
    bool bodyRan = false;
    std::optional<bool> reached;
    auto unbuildable = []() -> Engine& { throw std::bad_alloc(); };
    int answer = guardedEngineCall(
        unbuildable,
        [&](Engine&) {
            bodyRan = true;
            return 1;
        },
        [&](std::int32_t code, bool engineReached) {
            reached = engineReached;
            return code;
        });
    EXPECT_EQ(answer, codes::kOutOfMemory);
    EXPECT_EQ(reached, false);
    EXPECT_FALSE(bodyRan);
}

// A dialog host whose every file chooser throws.
class ThrowingHost : public platform::PlatformDialogs {
public:
    explicit ThrowingHost(std::function<void()> raise) : raise_(std::move(raise)) {}
    platform::Outcome<platform::DialogEnd> runModal(platform::ModalDialog&) override {
        return platform::fail(platform::errors::kErrorNotSupported);
    }
    void showError(std::string_view, std::string_view) override {}
    platform::Outcome<std::string> chooseFile(const platform::FileChooserRequest&) override {
        raise_();
        return std::string();
    }
    platform::Outcome<std::string> chooseFolder(std::string_view) override {
        return platform::fail(platform::errors::kErrorNotSupported);
    }
    platform::Status viewCertificate(platform::ByteView, std::string_view) override {
        return platform::fail(platform::errors::kErrorNotSupported);
    }
    platform::Status confirmKeyUse(const platform::KeyUseRequest&) override {
        return platform::fail(platform::errors::kErrorNotSupported);
    }

private:
    std::function<void()> raise_;
};

TEST(Guard, AnOperationThatThrowsReachesNoCallerOfTheControl) {
    test::TemporaryFolder home;
    for (const Thrower& t : kThrowers) {
        CapiControl control(EngineConfig{home.sub("state"), false});
        control.useDialogs(std::make_unique<ThrowingHost>(t.raise));
        Result result = std::int32_t{42};
        // HashFile of an empty name asks the host's file chooser.
        std::vector<Argument> args{std::u16string(), std::int32_t{0}};
        EXPECT_EQ(control.Invoke(Dispatcher::findMethod("HashFile")->dispId, args, result), kSOk)
            << t.what;
        EXPECT_EQ(result, Result(std::optional<std::u16string>())) << t.what;
        ASSERT_EQ(control.Invoke(2, {}, result), kSOk);
        EXPECT_EQ(result, Result(t.code)) << t.what;
    }
}

}  // namespace
}  // namespace pennaform
