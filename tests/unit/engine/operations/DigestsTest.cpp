// Hash and HashFile on an Engine: the flag table, the two text encodings,
// the order of the checks and their codes, and the file chooser.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "crypto/Digests.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

EngineConfig untrustedCaller() {
    EngineConfig config;
    config.untrustedCaller = true;
    return config;
}

template <typename D>
std::string hexDigestOf(std::string_view bytes) {
    D digest;
    digest.compute(bytes.data(), bytes.size());
    ByteBuffer hex;
    hex.hexEncode(digest.data(), digest.length());
    return std::string(hex.text());
}

std::string utf8(const std::u16string& s) {
    return utf16ToUtf8(s);
}

using namespace std::string_view_literals;
constexpr std::string_view kAbcUtf16 = "a\0b\0c\0"sv;

TEST(Hash, TheLowThreeBitsChooseTheAlgorithmAndOtherBitsAreIgnored) {
    Engine engine;
    const std::string sha1 = hexDigestOf<Sha1Digest>(kAbcUtf16);
    const std::string md5 = hexDigestOf<Md5Digest>(kAbcUtf16);
    for (std::int32_t flags : {0, 2, 5, 6, 7, 8, 0x20, 0x7FFFFFE8}) {
        EXPECT_EQ(utf8(engine.Hash(u"abc", flags)), sha1) << flags;
    }
    EXPECT_EQ(utf8(engine.Hash(u"abc", 1)), md5);
    EXPECT_EQ(utf8(engine.Hash(u"abc", 9)), md5);
    EXPECT_EQ(utf8(engine.Hash(u"abc", 3)), hexDigestOf<Sha256Digest>(kAbcUtf16));
    EXPECT_EQ(utf8(engine.Hash(u"abc", -20)), hexDigestOf<Sha512Digest>(kAbcUtf16));  // ...FFEC
    EXPECT_EQ(engine.GetErrorCode(), 0);
}

TEST(Hash, TextIsUtf16LeOrWith0x10TheCodePageUpToTheFirstNul) {
    Engine engine;
    // RFC 1321's value for "abc" comes only with 0x10.
    EXPECT_EQ(utf8(engine.Hash(u"abc", 0x11)), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(utf8(engine.Hash(u"abc", 0x1)), hexDigestOf<Md5Digest>(kAbcUtf16));
    // Without 0x10 every code unit counts, U+0000 too; with it the text ends there.
    const std::u16string withNul(u"ab\0c", 4);
    EXPECT_EQ(utf8(engine.Hash(withNul, 1)), hexDigestOf<Md5Digest>("a\0b\0\0\0c\0"sv));
    EXPECT_EQ(utf8(engine.Hash(withNul, 0x11)), hexDigestOf<Md5Digest>("ab"));
    // Characters beyond ASCII: two bytes each, or the code page's bytes.
    EXPECT_EQ(utf8(engine.Hash(u"中", 1)), hexDigestOf<Md5Digest>("\x2D\x4E"sv));
    EXPECT_EQ(utf8(engine.Hash(u"中", 0x11)), hexDigestOf<Md5Digest>(toAnsi(u"中")));
}

TEST(Hash, EmptyTextIs5005AndTheGateComesFirst) {
    Engine engine;
    engine.setCapiError(0x80090005);
    EXPECT_EQ(engine.Hash(u"", 0), u"");
    EXPECT_EQ(engine.GetErrorCode(), 5005);
    EXPECT_EQ(utf8(engine.Hash(u"x", 0)).size(), 40u);
    EXPECT_EQ(engine.GetErrorCode(), 0);                             // cleared by the next call
    EXPECT_EQ(engine.GetCapiErrorCode(), std::int32_t(0x80090005));  // never touched

    Engine untrusted(untrustedCaller());
    EXPECT_EQ(untrusted.Hash(u"abc", 0), u"");
    EXPECT_EQ(untrusted.GetErrorCode(), 1500);
    EXPECT_EQ(untrusted.Hash(u"", 0), u"");
    EXPECT_EQ(untrusted.GetErrorCode(), 1500);
    EXPECT_EQ(untrusted.HashFile(u"/nonexistent", 0), u"");
    EXPECT_EQ(untrusted.GetErrorCode(), 1500);
}

TEST(HashFile, DigestsTheFileAndRefusesWhatCannotBeRead) {
    test::TemporaryFolder dir;
    Engine engine;
    const std::string content = "The quick brown fox jumps over the lazy dog";
    const std::string path = dir.file("fox.txt", content);
    const std::u16string widePath = utf8ToUtf16(path);
    EXPECT_EQ(utf8(engine.HashFile(widePath, 4)), hexDigestOf<Sha512Digest>(content));
    EXPECT_EQ(utf8(engine.HashFile(widePath, 0x11)),
              hexDigestOf<Md5Digest>(content));  // 0x10 plays no part
    EXPECT_EQ(engine.GetErrorCode(), 0);
    // The path ends at its first U+0000.
    EXPECT_EQ(utf8(engine.HashFile(widePath + u'\0' + u"junk", 3)),
              hexDigestOf<Sha256Digest>(content));

    ASSERT_EQ(mkfifo((dir.path() + "/fifo").c_str(), 0600), 0);
    const struct {
        std::string path;
        std::int32_t code;
    } refused[] = {
        {dir.path() + "/missing", 5902}, {dir.path() + "/fox.txt/below", 5902},
        {dir.file("empty", ""), 1002},   {dir.path(), 1002},
        {dir.path() + "/fifo", 1002},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(engine.HashFile(utf8ToUtf16(r.path), 3), u"") << r.path;
        EXPECT_EQ(engine.GetErrorCode(), r.code) << r.path;
    }
}

// A dialog host whose file chooser answers as told and remembers the request.
class ChooserHost : public platform::PlatformDialogs {
public:
    explicit ChooserHost(platform::Outcome<std::string> answer) : answer_(std::move(answer)) {}
    platform::Outcome<platform::DialogEnd> runModal(platform::ModalDialog&) override {
        return platform::fail(platform::errors::kErrorNotSupported);
    }
    void showError(std::string_view, std::string_view) override {}
    platform::Outcome<std::string> chooseFile(const platform::FileChooserRequest& r) override {
        request = r;
        ++calls;
        return answer_;
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
    platform::FileChooserRequest request;
    int calls = 0;

private:
    platform::Outcome<std::string> answer_;
};

TEST(HashFile, AnEmptyNameAsksTheUserForTheFile) {
    test::TemporaryFolder dir;
    Engine engine;
    // No dialog host: nothing can be shown, which counts as cancelling.
    EXPECT_EQ(engine.HashFile(u"", 3), u"");
    EXPECT_EQ(engine.GetErrorCode(), 5070);

    const std::string path = dir.file("picked", "abc");
    auto picking = std::make_unique<ChooserHost>(path);
    ChooserHost* host = picking.get();
    engine.platform().installDialogs(std::move(picking));
    EXPECT_EQ(utf8(engine.HashFile(u"", 0x11)), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(host->calls, 1);
    EXPECT_EQ(host->request.title, CodePage::process().fromUtf8("請選擇檔案"));
    ASSERT_EQ(host->request.filters.size(), 1u);
    EXPECT_EQ(host->request.filters[0].patterns, "*.*");

    engine.platform().installDialogs(
        std::make_unique<ChooserHost>(platform::fail(platform::errors::kErrorCancelled)));
    EXPECT_EQ(engine.HashFile(u"", 0x11), u"");
    EXPECT_EQ(engine.GetErrorCode(), 5070);
}

}  // namespace
}  // namespace pennaform
