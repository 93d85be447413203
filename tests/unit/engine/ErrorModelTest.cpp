// The error model: the message table, the platform message text, and the
// rule that readers change nothing.
#include <gtest/gtest.h>

#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "interface/Dispatcher.h"
#include "platform/CodePage.h"

namespace pennaform {
namespace {

std::string utf8(const std::u16string& s) {
    return utf16ToUtf8(s);
}

TEST(ErrorText, FormatsTheCodeIntoItsMessage) {
    EXPECT_EQ(ErrorText(0), "成功(0)");
    EXPECT_EQ(ErrorText(5004), "不支援的功能(5004)");
    EXPECT_EQ(ErrorText(5070), "使用者按下\"取消\"按鈕(5070)");
    EXPECT_EQ(ErrorText(1500),
              "IE 受保護模式已啟動, 請加入信任網站, 並使用預設保護模式(關閉)(1500)");
    EXPECT_EQ(ErrorText(9006), "解密錯誤, 找不到可用憑證(9006)");
}

TEST(ErrorText, UndefinedCodesKeepTheirTrailingBlank) {
    EXPECT_EQ(ErrorText(5009), "錯誤碼未定義(5009) ");
    EXPECT_EQ(ErrorText(-1), "錯誤碼未定義(-1) ");
    EXPECT_EQ(ErrorText(1), "錯誤碼未定義(1) ");
    EXPECT_EQ(ErrorText(INT32_MIN), "錯誤碼未定義(-2147483648) ");
    EXPECT_EQ(ErrorText(INT32_MAX), "錯誤碼未定義(2147483647) ");
}

TEST(ErrorText, SharedTextsAndTheWholeTable) {
    EXPECT_EQ(ErrorText(7701), "一般錯誤(7701)");
    EXPECT_EQ(errorMessageFormat(7701), errorMessageFormat(5001));
    // Every code in the table carries exactly one "%d" and no other directive.
    int known = 0;
    for (std::int32_t code = -100; code < 10000; ++code) {
        std::string_view format = errorMessageFormat(code);
        if (format.empty()) continue;
        ++known;
        EXPECT_EQ(format.find("%d"), format.rfind("%d")) << code;
        EXPECT_EQ(std::count(format.begin(), format.end(), '%'), 1) << code;
    }
    EXPECT_EQ(known, 140);
}

class EngineErrors : public ::testing::Test {
protected:
    Result call(std::string_view decorated, std::vector<Argument> args = {}) {
        const MethodSpec* m = Dispatcher::findExport(decorated);
        EXPECT_NE(m, nullptr) << decorated;
        return Dispatcher::call(engine, *m, args);
    }
    std::string text(std::string_view decorated) {
        return utf8(*std::get<std::optional<std::u16string>>(call(decorated)));
    }
    Engine engine;
};

TEST_F(EngineErrors, AFreshEngineReportsSuccess) {
    EXPECT_EQ(text("_GetErrorMsg@0"), "成功(0)");
    EXPECT_EQ(text("_GetCapiErrorMsg@0"), "成功(0)");
    EXPECT_EQ(std::get<std::int32_t>(call("_GetErrorCode@0")), 0);
    EXPECT_EQ(std::get<std::int32_t>(call("_GetPortEx@0")), 65537);
}

TEST_F(EngineErrors, ReadersCanBeRepeatedInAnyOrderAfterAFailure) {
    EXPECT_EQ(std::get<std::int32_t>(call("_SelectSignerINS@12", {7, -1, 0})), 5004);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(text("_GetCapiErrorMsg@0"), "成功(0)");
        EXPECT_EQ(text("_GetErrorMsg@0"), "不支援的功能(5004)");
        EXPECT_EQ(std::get<std::int32_t>(call("_GetErrorCode@0")), 5004);
        EXPECT_EQ(std::get<std::int32_t>(call("_GetCapiErrorCode@0")), 0);
        EXPECT_EQ(std::get<std::int32_t>(call("_GetPortEx@0")), 65537);
    }
}

TEST_F(EngineErrors, OperationsNotBuiltAnswer5004WithAnEmptyResult) {
    for (const MethodSpec& m : kMethodTable) {
        if (m.bound.known) continue;
        std::vector<Argument> args;
        for (const ArgumentSpec& a : m.arguments()) {
            if (a.type == ValueType::Long)
                args.emplace_back(std::int32_t{1});
            else
                args.emplace_back(u"x");
        }
        Result r = Dispatcher::call(engine, m, args);
        EXPECT_EQ(engine.GetErrorCode(), 5004) << m.name;
        if (m.result == ValueType::String) {
            EXPECT_EQ(std::get<std::optional<std::u16string>>(r), std::u16string()) << m.name;
        } else {
            EXPECT_EQ(std::get<std::int32_t>(r), 5004) << m.name;
        }
    }
}

TEST_F(EngineErrors, ArgumentsThatDoNotFitAre5005) {
    const MethodSpec* hash = Dispatcher::findMethod("Hash");
    std::vector<Argument> swapped{std::int32_t{1}, std::u16string(u"abc")};
    Dispatcher::call(engine, *hash, swapped);
    EXPECT_EQ(engine.GetErrorCode(), 5005);
    std::vector<Argument> tooFew{std::u16string(u"abc")};
    EXPECT_EQ(std::get<std::optional<std::u16string>>(Dispatcher::call(engine, *hash, tooFew)),
              std::nullopt);
}

}  // namespace
}  // namespace pennaform

namespace pennaform {
namespace {

TEST_F(EngineErrors, PlatformMessagesCarryTheNumberInEightHexDigits) {
    engine.setCapiError(5);
    EXPECT_EQ(text("_GetCapiErrorMsg@0"), "Access is denied.\r\n(0x00000005)");
    engine.setCapiError(0x80090016u);
    EXPECT_EQ(text("_GetCapiErrorMsg@0"), "Keyset does not exist\r\n(0x80090016)");
    EXPECT_EQ(std::get<std::int32_t>(call("_GetCapiErrorCode@0")), int32_t(0x80090016u));
    // A number without a known text gives the bracketed number alone.
    engine.setCapiError(0x1234);
    EXPECT_EQ(text("_GetCapiErrorMsg@0"), "(0x00001234)");
    EXPECT_EQ(text("_GetCapiErrorMsg@0"), "(0x00001234)");
    // The component's own code is independent of the platform number.
    EXPECT_EQ(text("_GetErrorMsg@0"), "成功(0)");
}

}  // namespace
}  // namespace pennaform
