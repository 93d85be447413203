// Protected mode, walked over the whole method table: the 36 operations that
// refuse an untrusted caller answer 1500, built or not; every other operation
// still works.
#include <gtest/gtest.h>

#include <set>

#include "interface/Dispatcher.h"
#include "platform/CodePage.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

// The operations that refuse, as the interface's contract lists them.
const std::set<std::string_view> kRefused = {
    "GetMacAddress",     "RegReadHKCU",         "RegWriteHKCUInt",
    "RegWriteHKCUStr",   "RegReadHKLM",         "Hash",
    "HashFile",          "SetProviderName",     "CreatePKCS10",
    "CreatePKCS10Pair",  "AcceptPKCS7",         "ChangePfxPasswd",
    "ChangePfxPasswdEx", "QueryPfxInfo",        "ImportPfxToIE",
    "ExportPfxFromIE",   "ExportMobileFromPfx", "ExportMobileFromIE",
    "SelectSigner",      "SelectSignerEx",      "SelectSignerEx2",
    "SignPkcs1",         "SignPkcs7",           "SymEncrypt",
    "SymDecrypt",        "CertEncryptPkcs7",    "CertDecryptPkcs7",
    "GetIECertCount",    "GetIECertSerial",     "GetIECertCommonName",
    "GetIECertSubject",  "GetIECertIssuer",     "GetIECertNotBefore",
    "GetIECertNotAfter", "GetIECertFinger",     "DeleteIECert",
};

// validArguments: arguments each operation accepts past its own checks.
std::vector<Argument> validArguments(const MethodSpec& method) {
    std::vector<Argument> args;
    for (const ArgumentSpec& a : method.arguments()) {
        if (a.type == ValueType::Long) {
            args.emplace_back(std::int32_t{0});
        } else if (a.name == "strName") {
            args.emplace_back(u"Software\\QUVO\\Mode");
        } else if (a.name == "strProviderName") {
            args.emplace_back(u"Microsoft Strong Cryptographic Provider");
        } else {
            args.emplace_back(u"text");
        }
    }
    return args;
}

TEST(ProtectedMode, TheListHas36OperationsOfTheTable) {
    ASSERT_EQ(kRefused.size(), 36u);
    for (std::string_view name : kRefused) EXPECT_NE(Dispatcher::findMethod(name), nullptr) << name;
}

TEST(ProtectedMode, EachRefusingOperationAnswers1500AndTheOthersWork) {
    test::TemporaryFolder folder;
    Engine untrusted(EngineConfig{folder.sub("home"), true});
    Engine trusted(EngineConfig{folder.sub("home")});
    int refused = 0;
    for (const MethodSpec& method : kMethodTable) {
        std::vector<Argument> args = validArguments(method);
        untrusted.setErrorCode(0);
        Result result = Dispatcher::call(untrusted, method, args);
        if (kRefused.count(method.name) != 0) {
            ++refused;
            EXPECT_EQ(untrusted.GetErrorCode(), 1500) << method.name;
            EXPECT_TRUE(method.refusesUntrustedCaller) << method.name;
            if (method.result == ValueType::String) {
                EXPECT_EQ(std::get<std::optional<std::u16string>>(result), u"") << method.name;
            }
            continue;
        }
        EXPECT_FALSE(method.refusesUntrustedCaller) << method.name;
        EXPECT_NE(untrusted.GetErrorCode(), 1500) << method.name;
        // The others behave as they do for a trusted caller.
        trusted.setErrorCode(untrusted.GetErrorCode());
        Result expected = Dispatcher::call(trusted, method, args);
        EXPECT_EQ(result, expected) << method.name;
        EXPECT_EQ(untrusted.GetErrorCode(), trusted.GetErrorCode()) << method.name;
    }
    EXPECT_EQ(refused, 36);
    EXPECT_FALSE(std::filesystem::exists(folder.sub("home"))) << "nothing was written";
}

TEST(ProtectedMode, ReadersAndEnvironmentFactsStillWork) {
    test::TemporaryFolder folder;
    Engine engine(EngineConfig{folder.sub("home"), true});
    auto call = [&](std::string_view name) {
        return Dispatcher::call(engine, *Dispatcher::findMethod(name), {});
    };
    EXPECT_EQ(std::get<std::optional<std::u16string>>(call("GetVersion")), u"4.2.3.0");
    EXPECT_NE(std::get<std::optional<std::u16string>>(call("GetOSName")), u"");
    call("GetMacAddress");
    EXPECT_EQ(std::get<std::int32_t>(call("GetErrorCode")), 1500);
    EXPECT_EQ(utf16ToUtf8(*std::get<std::optional<std::u16string>>(call("GetErrorMsg"))),
              "IE 受保護模式已啟動, 請加入信任網站, 並使用預設保護模式(關閉)(1500)");
    EXPECT_EQ(std::get<std::optional<std::u16string>>(call("GetCapiErrorMsg")), u"成功(0)");
    call("GetUserHomePath");
    EXPECT_EQ(std::get<std::int32_t>(call("GetErrorCode")), 0);
}

}  // namespace
}  // namespace pennaform
