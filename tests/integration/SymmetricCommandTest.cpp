// SymEncrypt and SymDecrypt through the command against `openssl enc` with
// the same key and a zero IV: the same cipher texts for texts of 1 to 40
// bytes, and each reads what the other writes.
#include <gtest/gtest.h>

#include "support/Process.h"
#include "support/Session.h"

namespace pennaform::test {
namespace {

using nlohmann::json;

struct Cipher {
    const char* name;
    int iAlgorithm;
    const char* keyHex;
    std::vector<std::string> opensslArgs;
};

const Cipher kCiphers[] = {
    {"3DES", 0, "0123456789abcdef23456789abcdef01456789abcdef0123", {"-des-ede3-cbc"}},
    {"3DES_112", 0, "0123456789ABCDEFFEDCBA9876543210", {"-des-ede-cbc"}},
    {"DES", 1, "133457799bbcdff1", {"-des-cbc", "-provider", "legacy", "-provider", "default"}},
};

// opensslEnc: `openssl enc` of `input` with the cipher's key and a zero IV,
// as one line of Base64 (`extra` adds options such as -d or -nopad).
std::string opensslEnc(const Cipher& c, const std::string& input,
                       const std::vector<std::string>& extra = {}) {
    std::vector<std::string> argv = {"openssl", "enc"};
    argv.insert(argv.end(), c.opensslArgs.begin(), c.opensslArgs.end());
    argv.insert(argv.end(), {"-K", c.keyHex, "-iv", "0000000000000000", "-a", "-A"});
    argv.insert(argv.end(), extra.begin(), extra.end());
    ProcessResult r = runProcess(argv, {}, input);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    return r.out.substr(0, r.out.find('\n'));
}

std::string textOfLength(std::size_t n) {
    const std::string source = "Pennaform: the quick brown fox, 0123456789!";
    return source.substr(0, n);
}

// A text and the bytes the cipher sees for it, given the call's flags.
struct TextAndBytes {
    std::string text;
    std::string bytes;
};

// expectSameAsOpenssl: in one session, for each cipher and each text, a
// SymEncrypt of the text that must give `openssl enc` of its bytes, and a
// SymDecrypt of that cipher text that must give the text back.
void expectSameAsOpenssl(const std::vector<TextAndBytes>& texts, int flags) {
    std::vector<json> calls;
    std::vector<std::string> expected;
    for (const Cipher& c : kCiphers) {
        for (const auto& [text, bytes] : texts) {
            const std::string theirs = opensslEnc(c, bytes);
            calls.push_back(
                {{"method", "SymEncrypt"}, {"args", {text, c.keyHex, c.iAlgorithm, flags}}});
            calls.push_back(
                {{"method", "SymDecrypt"}, {"args", {theirs, c.keyHex, c.iAlgorithm, flags}}});
            expected.push_back(theirs);
            expected.push_back(text);
        }
    }
    const std::vector<json> answers = runSession(calls);
    ASSERT_EQ(answers.size(), calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(answers[i]["errorCode"], 0) << calls[i].dump();
        EXPECT_EQ(answers[i]["result"], expected[i]) << calls[i].dump();
    }
}

TEST(SymmetricCommand, CodePageTextsMatchOpensslAndComeBack) {
    // With 0x800 the text goes in as its code-page bytes.
    std::vector<TextAndBytes> texts;
    for (std::size_t n = 1; n <= 40; ++n) texts.push_back({textOfLength(n), textOfLength(n)});
    expectSameAsOpenssl(texts, 0x800);
}

TEST(SymmetricCommand, Utf16TextsMatchOpensslAndComeBack) {
    // Without 0x800 the text goes in as UTF-16LE code units.
    expectSameAsOpenssl({{"A", std::string("A\0", 2)},
                         {"abc", std::string("a\0b\0c\0", 6)},
                         {"four", std::string("f\0o\0u\0r\0", 8)},
                         {"中文", "\x2D\x4E\x87\x65"},
                         {"Ωmega €5", std::string("\xA9\x03m\0e\0g\0a\0 \0\xAC\x20"
                                                  "5\0",
                                                  16)}},
                        0);
}

TEST(SymmetricCommand, OpensslReadsWhatWeWriteAndZeroPaddingIsTolerated) {
    for (const Cipher& c : kCiphers) {
        const std::string text = "written by Pennaform";
        ProcessResult ours =
            runCommand({"SymEncrypt", text, c.keyHex, std::to_string(c.iAlgorithm), "0x800"});
        ASSERT_EQ(ours.exitStatus, 0) << ours.err;
        std::vector<std::string> argv = {"openssl", "enc", "-d"};
        argv.insert(argv.end(), c.opensslArgs.begin(), c.opensslArgs.end());
        argv.insert(argv.end(), {"-K", c.keyHex, "-iv", "0000000000000000", "-a", "-A"});
        ProcessResult back = runProcess(argv, {}, ours.out);
        EXPECT_EQ(back.exitStatus, 0) << back.err;
        EXPECT_EQ(back.out, text) << c.name;

        // A peer that pads with zeros rather than PKCS#5.
        const std::string zeroPadded =
            opensslEnc(c, std::string("zero pad\0\0\0\0\0\0\0\0", 16), {"-nopad"});
        ProcessResult read =
            runCommand({"SymDecrypt", zeroPadded, c.keyHex, std::to_string(c.iAlgorithm), "0x800"});
        EXPECT_EQ(read.exitStatus, 0) << read.err;
        EXPECT_EQ(read.out, "zero pad\n") << c.name;
    }
}

TEST(SymmetricCommand, RefusalsCarryTheirCodes) {
    const struct {
        std::vector<std::string> words;
        const char* error;
    } cases[] = {
        {{"SymEncrypt", "text", "0123456789abcde", "1", "0"}, "error 5005: 錯誤的參數(5005)\n"},
        {{"SymEncrypt", "", "0123456789abcdef", "1", "0"}, "error 5005: 錯誤的參數(5005)\n"},
        {{"SymEncrypt", "text", "0123456789abcdef", "0", "0"},
         "error 9003: 加解密密碼長度錯誤(9003)\n"},
        {{"SymEncrypt", "text", "0123456789abcdef0123456789abcdef", "1", "0"},
         "error 9003: 加解密密碼長度錯誤(9003)\n"},
        {{"SymEncrypt", "text", "0123456789abcdef", "2", "0"},
         "error 9001: 加解密演算法錯誤(9001)\n"},
        {{"SymDecrypt", " \r\n ", "0123456789abcdef", "1", "0"},
         "error 9002: 加解格式錯誤(9002)\n"},
        {{"SymDecrypt", "AAAAAAAAAAAAAA==", "0123456789abcdef", "1", "0"},
         "error 9005: 解密錯誤(9005)\n"},  // ten bytes
    };
    for (const auto& c : cases) {
        ProcessResult r = runCommand(c.words);
        EXPECT_EQ(r.exitStatus, 1) << c.words[1];
        EXPECT_EQ(r.out, "\n") << c.words[1];
        EXPECT_EQ(r.err, c.error) << c.words[1];
    }
}

}  // namespace
}  // namespace pennaform::test
