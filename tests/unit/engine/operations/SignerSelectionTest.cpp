// Signer selection through the Engine, with the scripted dialog host: the
// sources and their flags, the picker, the PFX dialog, compare dates, the
// getters, and the signer saved to and restored from the port.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "signing/SignerPortBlock.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"
#include "support/TestCertificates.h"
#include "toolkit/testca/InstallCommand.h"
#include "ui/hosts/DialogHostFactory.h"

namespace pennaform {
namespace {

using platform::Bytes;
namespace fs = std::filesystem;

std::string upperHex(const Bytes& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) text += {digits[b >> 4], digits[b & 15]};
    return text;
}

class SignerSelectionTest : public ::testing::Test {
protected:
    SignerSelectionTest() {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) previousRuntime_ = old;
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        engine_ = std::make_unique<Engine>(EngineConfig{home(), false});
        EXPECT_TRUE(ca_.certificate(
            "root", {"--ca", "--subject", "/C=TW/O=Test/CN=Root", "--key-bits", "1024"}))
            << ca_.lastError();
    }
    ~SignerSelectionTest() override {
        engine_.reset();
        if (previousRuntime_) {
            setenv("XDG_RUNTIME_DIR", previousRuntime_->c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }
    std::string home() const { return folder_.sub("home"); }

    // issue: a certificate issued by the root for `commonName`; its DER.
    Bytes issue(const std::string& name, const std::string& commonName,
                std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--subject", "/C=TW/O=Bank/CN=" + commonName, "--key-bits",
                                       "1024", "--issuer-cert", ca_.path("root.der"),
                                       "--issuer-key", ca_.path("root.key.pem")});
        std::optional<Bytes> der = ca_.certificate(name, options);
        EXPECT_TRUE(der) << ca_.lastError();
        return der.value_or(Bytes());
    }
    Bytes install(const std::string& name, const std::string& commonName,
                  std::vector<std::string> options = {}) {
        Bytes der = issue(name, commonName, std::move(options));
        EXPECT_EQ(testca::runInstallCommand({"--home", home(), "--store", "MY", "--cert",
                                             ca_.path(name + ".der"), "--key",
                                             ca_.path(name + ".key.pem")}),
                  0);
        return der;
    }
    // pfx: <name>.p12 beside the CA's files, protected by "secret1".
    std::string pfx(const std::string& name) {
        EXPECT_EQ(
            ca_.run({"pfx", "--out", ca_.path(name + ".p12"), "--cert", ca_.path(name + ".der"),
                     "--key", ca_.path(name + ".key.pem"), "--password", "secret1"})
                .exitStatus,
            0);
        return name + ".p12";
    }
    // script: the scripted host with `answers`; the transcript is read by
    // transcript().
    void script(const std::string& answers) {
        ui::HostSetupProblem problem;
        auto host = ui::makeDialogHost("scripted", folder_.file("answers.json", answers),
                                       folder_.sub("transcript.jsonl"), problem);
        ASSERT_NE(host, nullptr) << problem.message;
        engine_->platform().installDialogs(std::move(host));
    }
    std::vector<nlohmann::json> transcript() const {
        std::ifstream in(folder_.sub("transcript.jsonl"));
        std::vector<nlohmann::json> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }
    Engine& engine() { return *engine_; }

    test::TemporaryFolder folder_, runtime_;
    std::optional<std::string> previousRuntime_;
    test::TestCa ca_;
    std::unique_ptr<Engine> engine_;
};

TEST_F(SignerSelectionTest, SourcesFlagsAndDialogsDecideTheSigner) {
    const Bytes wang = install(
        "wang", "Wang",
        {"--not-before", "20240101000000Z", "--key-usage", "digitalSignature,nonRepudiation"});
    const Bytes li = install("li", "Li", {"--not-before", "20250101000000Z"});
    const std::string cancelPfx = R"([{"dialog": 202, "actions": [{"press": 2}]}])";
    const std::string cancelPicker = R"([{"dialog": 204, "actions": [{"press": 2}]}])";
    const std::string pickSecond = R"([{"dialog": 204, "actions": [{"select": 1}, {"press": 1}]}])";
    struct Case {
        const char* what;
        std::string answers;
        std::int32_t flags;
        const char* filter;
        std::int32_t code;
        const Bytes* chosen;  // null: no signer
        std::size_t dialogs;
    } cases[] = {
        {"one match, flags 0: no dialog", "[]", 8, "S_CN=Wang", 0, &wang, 0},
        {"two matches, flags 2: the newest", "[]", 8 | 2, "S_O=Bank", 0, &li, 0},
        {"two matches, flags 0: the picker", pickSecond, 8, "S_O=Bank", 0, &li, 1},
        {"flags 1: the picker even for one", R"([{"dialog": 204, "actions": [{"press": 1}]}])",
         8 | 1, "S_CN=Wang", 0, &wang, 1},
        {"0x0200 skips the store", cancelPfx, 8 | 0x200, "S_CN=Wang", 5070, nullptr, 1},
        {"no match: the PFX dialog, cancelled", cancelPfx, 8, "S_CN=Nobody", 5070, nullptr, 1},
        {"picker cancelled, no PFX source", cancelPicker, 8 | 0x100, "S_O=Bank", 5070, nullptr, 1},
        {"picker unanswered, as headless", "[]", 8 | 0x100, "S_O=Bank", 5010, nullptr, 1},
        {"no match in the store only", "[]", 8 | 0x100, "S_CN=Nobody", 5010, nullptr, 0},
    };
    for (const Case& c : cases) {
        script(c.answers);
        EXPECT_EQ(engine().SelectSigner(toWide(c.filter), c.flags, 0), c.code) << c.what;
        EXPECT_EQ(engine().GetErrorCode(), c.code) << c.what;
        EXPECT_EQ(transcript().size(), c.dialogs) << c.what;
        if (c.chosen != nullptr) {
            EXPECT_EQ(engine().signer().signerMedia, 1) << c.what;
            EXPECT_EQ(engine().signer().signerCertBytes, *c.chosen) << c.what;
            EXPECT_EQ(toAnsi(engine().GetCertFinger()), upperHex(test::sha1Of(*c.chosen)))
                << c.what;
            EXPECT_EQ(engine().GetSignerPfxFilePath(), u"") << c.what;
        } else {
            EXPECT_EQ(engine().signer().signerMedia, -1) << c.what;
            EXPECT_EQ(engine().GetCertSubject(), u"") << c.what;
            EXPECT_EQ(engine().GetCertB64(), u"") << c.what;
            EXPECT_EQ(engine().GetCertKeyUsage(), 0) << c.what;
        }
    }
    ASSERT_EQ(engine().SelectSigner(u"S_CN=Wang", 8, 0), 0);
    EXPECT_EQ(engine().GetCertSubject(), u"C=TW, O=Bank, CN=Wang");
    EXPECT_EQ(engine().GetCertSubjectCN(), u"Wang");
    EXPECT_EQ(engine().GetCertIssuer(), u"C=TW, O=Test, CN=Root");
    EXPECT_EQ(engine().GetCertKeyUsage(), 0xC0);
    EXPECT_EQ(engine().GetCertNotBefore().size(), 14u);
    EXPECT_FALSE(engine().GetCertB64().empty());
}

TEST_F(SignerSelectionTest, CompareDatesAreCheckedBeforeTheSearch) {
    install("wang", "Wang");
    struct Case {
        const char* date;
        std::int32_t code;
    } cases[] = {
        {"2024010100000", 5005},  {"2024A101000000", 5005},
        {"20241301000000", 5005}, {"20240230000000", 5005},
        {"20240001000000", 5005}, {"15000101000000", 5005},
        {"20990101000000", 5011}, {"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            engine().SelectSignerEx(u"S_CN=Wang", u"", u"", u"", toWide(c.date), 8 | 0x100, 0),
            c.code)
            << c.date;
        EXPECT_EQ(engine().GetCertSubject().empty(), c.code != 0) << c.date;
    }
}

TEST_F(SignerSelectionTest, APfxFileIsSearchedAndKeptWhenAsked) {
    issue("chen", "Chen");
    const std::string name = pfx("chen");
    const std::string folder = fs::path(ca_.path(name)).parent_path().string();
    script("[]");
    ASSERT_EQ(engine().SelectSignerEx(u"S_CN=Chen", toWide(folder), toWide(name), u"secret1", u"",
                                      8 | 0x200 | 0x1000, 0),
              0);
    EXPECT_TRUE(transcript().empty());
    EXPECT_EQ(engine().signer().signerMedia, 2);
    EXPECT_NE(engine().signer().keptPfx, nullptr);
    EXPECT_EQ(toAnsi(engine().GetSignerPfxFileName()), name);
    EXPECT_EQ(toAnsi(engine().GetSignerPfxFilePath()), folder);
    EXPECT_EQ(engine().GetCertSubjectCN(), u"Chen");

    // Without 0x1000 nothing stays loaded; a wrong password ends in 5208.
    ASSERT_EQ(engine().SelectSignerEx(u"S_CN=Chen", toWide(folder), toWide(name), u"secret1", u"",
                                      8 | 0x200, 0),
              0);
    EXPECT_EQ(engine().signer().keptPfx, nullptr);
    EXPECT_EQ(engine().SelectSignerEx(u"S_CN=Chen", toWide(folder), toWide(name), u"wrong", u"",
                                      8 | 0x200, 0),
              5208);
    EXPECT_EQ(engine().signer().signerMedia, -1);
    // SelectSignerEx2 always asks for the password, prefilled with the file.
    script(R"([{"dialog": 202, "actions": [{"set": 303, "text": "secret1"}, {"press": 1}]}])");
    ASSERT_EQ(
        engine().SelectSignerEx2(u"S_CN=Chen", toWide(folder), toWide(name), 0, u"", 8 | 0x200, 0),
        0);
    ASSERT_EQ(transcript().size(), 1u);
    EXPECT_EQ(engine().signer().signerCertPasswd.view(), "secret1");
}

TEST_F(SignerSelectionTest, TheSignerGoesThroughThePortToAnotherEngine) {
    const Bytes wang = install("wang", "Wang");
    ASSERT_EQ(engine().SelectSignerEx2(u"S_CN=Wang", u"", u"", 0, u"", 8, 0), 0);

    // The raw block: media 1, the bytes and the hash, nothing of a PFX file.
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(runtime_.sub("pennaform"))) {
        if (entry.path().filename().string().rfind("block-", 0) == 0) files.push_back(entry);
    }
    ASSERT_EQ(files.size(), 1u);
    Bytes block = test::readBinaryFile(files[0]);
    ASSERT_EQ(block.size(), 20480u);
    signing::BlockWalk walk = signing::walkEntries(block);
    EXPECT_FALSE(walk.damaged);
    std::map<std::u16string, Bytes> entries;
    for (const signing::PortEntry& entry : walk.entries) {
        std::u16string key;
        for (std::size_t at = entry.offset; block[at] != 0 || block[at + 1] != 0; at += 2) {
            key += char16_t(block[at] | block[at + 1] << 8);
        }
        entries[key] = Bytes(block.begin() + std::ptrdiff_t(entry.valueOffset()),
                             block.begin() + std::ptrdiff_t(entry.end()));
    }
    EXPECT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[u"signerMedia"], (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(entries[u"signerCertBytes"], wang);
    const std::string hash = upperHex(test::sha1Of(wang));
    EXPECT_EQ(entries[u"signerCertHash"], Bytes(hash.begin(), hash.end()));

    // Another Engine of the same home restores it with no dialog, whatever
    // its filter; with dwPort 0 it searches instead.
    Engine other(EngineConfig{home(), false});
    ASSERT_EQ(other.SelectSignerEx2(u"S_CN=Nobody", u"", u"", 1, u"", 8 | 0x100, 0), 0);
    EXPECT_EQ(other.signer().signerCertBytes, wang);
    EXPECT_EQ(toAnsi(other.GetCertFinger()), hash);
    EXPECT_EQ(other.SelectSignerEx2(u"S_CN=Nobody", u"", u"", 0, u"", 8 | 0x100, 0), 5010);
    // A PFX signer replaces it, password and all.
    issue("chen", "Chen");
    const std::string name = pfx("chen");
    const std::string folder = fs::path(ca_.path(name)).parent_path().string();
    script(R"([{"dialog": 202, "actions": [{"set": 303, "text": "secret1"}, {"press": 1}]}])");
    ASSERT_EQ(
        engine().SelectSignerEx2(u"S_CN=Chen", toWide(folder), toWide(name), 0, u"", 8 | 0x200, 0),
        0);
    ASSERT_EQ(other.SelectSignerEx2(u"S_CN=Nobody", u"", u"", 1, u"", 8 | 0x100, 0), 0);
    EXPECT_EQ(other.signer().signerMedia, 2);
    EXPECT_EQ(other.GetCertSubjectCN(), u"Chen");
    EXPECT_EQ(other.signer().signerCertPasswd.view(), "secret1");
    EXPECT_EQ(toAnsi(other.GetSignerPfxFileName()), name);
}

}  // namespace
}  // namespace pennaform
