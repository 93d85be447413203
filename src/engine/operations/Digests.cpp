// Hash and HashFile: the digests of a caller's text or file as upper-case
// hexadecimal.
#include <optional>
#include <string>
#include <variant>

#include "crypto/Digests.h"
#include "crypto/TextBytes.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace pennaform {
namespace {

// Bits of dwFlags.
constexpr std::int32_t kAlgorithmBits = 0x7;
constexpr std::int32_t kAnsiText = 0x10;

// The file is read through one buffer of this size, so the memory HashFile
// needs does not grow with the file.
constexpr std::size_t kFilePiece = 256 * 1024;

using AnyDigest = std::variant<Md5Digest, Sha1Digest, Sha256Digest, Sha512Digest>;

// digestFor: the digest object the low three bits of dwFlags choose: 1 MD5,
// 3 SHA-256, 4 SHA-512, and SHA-1 for all others.
AnyDigest digestFor(std::int32_t flags) {
    switch (flags & kAlgorithmBits) {
        case 1:
            return AnyDigest(std::in_place_type<Md5Digest>);
        case 3:
            return AnyDigest(std::in_place_type<Sha256Digest>);
        case 4:
            return AnyDigest(std::in_place_type<Sha512Digest>);
        default:
            return AnyDigest(std::in_place_type<Sha1Digest>);
    }
}

const ByteBuffer& finished(AnyDigest& digest) {
    return std::visit(
        [](auto& d) -> const ByteBuffer& {
            d.final();
            return d;
        },
        digest);
}

// hexResult: the finished digest as upper-case hex; 5002 when the formatter
// fails, with whatever it produced.
std::u16string hexResult(Engine& engine, const ByteBuffer& digest) {
    ByteBuffer hex;
    if (!hex.hexEncode(digest.data(), digest.length())) engine.setErrorCode(codes::kAllocation);
    return toWide(hex.text());
}

// chooseFileToHash: the file the user picks in the platform's open-file
// chooser; nothing when no chooser can be shown or the user cancels.
std::optional<std::string> chooseFileToHash(platform::Platform& platform) {
    platform::PlatformDialogs* dialogs = platform.dialogs();
    if (dialogs == nullptr) return std::nullopt;
    platform::FileChooserRequest request;
    request.title = CodePage::process().fromUtf8("請選擇檔案");
    request.filters = {{"All Files (*.*)", "*.*"}};
    platform::Outcome<std::string> chosen = dialogs->chooseFile(request);
    if (!chosen || chosen->empty()) return std::nullopt;
    return std::move(chosen).value();
}

}  // namespace

std::u16string Engine::Hash(std::u16string_view strPlainText, std::int32_t dwFlags) {
    setErrorCode(codes::kSuccess);
    if (refuseUntrustedCaller()) return {};
    if (strPlainText.empty()) {
        setErrorCode(codes::kBadArgument);
        return {};
    }
    const std::vector<std::uint8_t> bytes = callerTextBytes(strPlainText, dwFlags, kAnsiText);
    AnyDigest digest = digestFor(dwFlags);
    std::visit([&](auto& d) { d.update(bytes.data(), bytes.size()); }, digest);
    return hexResult(*this, finished(digest));
}

std::u16string Engine::HashFile(std::u16string_view strFileName, std::int32_t dwFlags) {
    setErrorCode(codes::kSuccess);
    if (refuseUntrustedCaller()) return {};
    // A path ends at its first U+0000, as the file functions read it.
    std::string path = toAnsi(strFileName.substr(0, strFileName.find(u'\0')));
    if (path.empty()) {
        std::optional<std::string> chosen = chooseFileToHash(platform());
        if (!chosen) {
            setErrorCode(codes::kCancelled);
            return {};
        }
        path = std::move(*chosen);
    }
    if (!platform::pathExists(path)) {
        setErrorCode(codes::kFileNotFound);
        return {};
    }
    AnyDigest digest = digestFor(dwFlags);
    const std::optional<std::uint64_t> fileLen =
        platform::readFileInPieces(path, kFilePiece, [&](std::span<const std::uint8_t> piece) {
            std::visit([&](auto& d) { d.update(piece.data(), piece.size()); }, digest);
        });
    // An empty file is refused like an unreadable one: it has no digest here.
    if (!fileLen || *fileLen == 0) {
        setErrorCode(codes::kFileUnreadable);
        return {};
    }
    return hexResult(*this, finished(digest));
}

}  // namespace pennaform
