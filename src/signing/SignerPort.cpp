#include "signing/SignerPort.h"

#include <algorithm>

#include "crypto/Digests.h"
#include "pfx/PfxStore.h"
#include "platform/CodePage.h"
#include "platform/HexText.h"
#include "platform/SecretBytes.h"
#include "signing/SignerPortBlock.h"

namespace pennaform::signing {

namespace {

using platform::Status;

constexpr std::string_view kEventSuffix = "_Event";

std::u16string wideKey(std::string_view key) {
    return CodePage::process().toWide(key);
}

platform::Bytes intBytes(std::int32_t value) {
    const auto bits = std::uint32_t(value);
    return {std::uint8_t(bits), std::uint8_t(bits >> 8), std::uint8_t(bits >> 16),
            std::uint8_t(bits >> 24)};
}

platform::ByteView textBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Keys of the signer record (the names of SignerState's fields).
constexpr std::string_view kMedia = "signerMedia";
constexpr std::string_view kCertBytes = "signerCertBytes";
constexpr std::string_view kCertHash = "signerCertHash";
constexpr std::string_view kPassword = "signerCertPasswd";
constexpr std::string_view kFolder = "signerCertFilePath";
constexpr std::string_view kName = "signerCertFileName";

}  // namespace

void PortEntries::signal(std::string name) {
    name += kEventSuffix;
    if (std::find(signalled_.begin(), signalled_.end(), name) == signalled_.end()) {
        signalled_.push_back(std::move(name));
    }
}

bool PortEntries::exists(std::string_view key) const {
    return portGet(block_, wideKey(key), std::nullopt).ok();
}

Status PortEntries::add(std::string_view key, platform::ByteView value) {
    Status added = portAdd(block_, wideKey(key), value);
    if (added) signal("");  // the port's own event, named in SignerPort::locked
    return added;
}

Status PortEntries::addInt(std::string_view key, std::int32_t value) {
    return add(key, intBytes(value));
}

Status PortEntries::update(std::string_view key, platform::ByteView value) {
    Status updated = portUpdate(block_, wideKey(key), value);
    if (updated) signal(std::string(key));
    return updated;
}

Status PortEntries::updateInt(std::string_view key, std::int32_t value) {
    return update(key, intBytes(value));
}

Status PortEntries::remove(std::string_view key) {
    Status removed = portRemove(block_, wideKey(key));
    if (removed) {
        signal("");
        signal(std::string(key));
    }
    return removed;
}

platform::Outcome<std::uint32_t> PortEntries::get(
    std::string_view key, std::optional<std::span<std::uint8_t>> buffer) const {
    return portGet(block_, wideKey(key), buffer);
}

std::int32_t PortEntries::getInt(std::string_view key, std::int32_t fallback) const {
    std::uint8_t bytes[4] = {};
    if (!get(key, std::span<std::uint8_t>(bytes))) return fallback;
    return std::int32_t(std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
                        std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24);
}

std::int32_t PortEntries::readInt(std::string_view key) const {
    return exists(key) ? getInt(key, -1) : -1;
}

void PortEntries::readSecret(std::string_view key, platform::SecretText& out) const {
    out.clear();
    platform::Outcome<std::uint32_t> length = get(key, std::nullopt);
    if (!length) return;
    // Two zero bytes beyond the value, as the text is read up to its first zero.
    platform::SecretBytes buffer;
    std::span<std::uint8_t> room = buffer.grow(std::size_t(*length) + 2);
    if (!get(key, room)) return;
    std::string_view text(reinterpret_cast<const char*>(room.data()), room.size());
    out.assign(text.substr(0, text.find('\0')));
}

std::string PortEntries::readString(std::string_view key) const {
    platform::SecretText text;
    readSecret(key, text);
    return std::string(text.view());
}

std::optional<platform::Bytes> PortEntries::readBytes(std::string_view key) const {
    platform::Outcome<std::uint32_t> length = get(key, std::nullopt);
    if (!length) return std::nullopt;
    platform::Bytes value(*length);
    if (!get(key, std::span<std::uint8_t>(value))) return std::nullopt;
    return value;
}

Status SignerPort::locked(const std::function<Status(PortEntries&)>& body) {
    std::vector<std::string> signalled;
    Status result = block_.access([&](std::span<std::uint8_t> block) {
        PortEntries entries(block, signalled);
        return body(entries);
    });
    if (events_ == nullptr) return result;
    for (const std::string& suffixed : signalled) {
        // The port's own event was recorded without a key.
        const std::string name = suffixed == kEventSuffix ? portName_ + suffixed : suffixed;
        if (auto event = events_->openEvent(name)) (void)(*event)->set();
    }
    return result;
}

bool SignerPort::exists(std::string_view key) {
    bool found = false;
    (void)locked([&](PortEntries& entries) {
        found = entries.exists(key);
        return Status::success();
    });
    return found;
}

Status SignerPort::add(std::string_view key, platform::ByteView value) {
    return locked([&](PortEntries& entries) { return entries.add(key, value); });
}
Status SignerPort::addInt(std::string_view key, std::int32_t value) {
    return locked([&](PortEntries& entries) { return entries.addInt(key, value); });
}
Status SignerPort::update(std::string_view key, platform::ByteView value) {
    return locked([&](PortEntries& entries) { return entries.update(key, value); });
}
Status SignerPort::updateInt(std::string_view key, std::int32_t value) {
    return locked([&](PortEntries& entries) { return entries.updateInt(key, value); });
}
Status SignerPort::remove(std::string_view key) {
    return locked([&](PortEntries& entries) { return entries.remove(key); });
}

platform::Outcome<std::uint32_t> SignerPort::get(std::string_view key,
                                                 std::optional<std::span<std::uint8_t>> buffer) {
    platform::Outcome<std::uint32_t> length = platform::fail(platform::errors::kErrorFileNotFound);
    Status held = locked([&](PortEntries& entries) {
        length = entries.get(key, buffer);
        return Status::success();
    });
    if (!held) return held.failure();
    return length;
}

std::int32_t SignerPort::getInt(std::string_view key, std::int32_t fallback) {
    std::int32_t value = fallback;
    (void)locked([&](PortEntries& entries) {
        value = entries.getInt(key, fallback);
        return Status::success();
    });
    return value;
}

std::string signerPortName(std::string_view scope) {
    if (scope.empty()) return std::string(kPortName);
    Sha1Digest digest;
    digest.compute(scope.data(), scope.size());
    return std::string(kPortName) + " " + upperHex(digest.bytes());
}

std::optional<SignerPort> openSignerPort(SignerState& state, platform::Platform& platform) {
    platform::SharedMemory* shared = platform.sharedMemory();
    const std::string portName = signerPortName(state.portScope);
    if (state.port == nullptr && shared != nullptr) {
        platform::Outcome<std::unique_ptr<platform::SharedBlock>> opened =
            shared->openBlock(portName, kPortSize);
        if (!opened) return std::nullopt;
        // A new block gets its size; checked under the lock, since another
        // process may have opened and written it since this one created it.
        if ((*opened)->created()) {
            (void)(*opened)->access([](std::span<std::uint8_t> block) {
                if (std::all_of(
                        block.begin(),
                        block.begin() + std::ptrdiff_t(std::min<std::size_t>(block.size(), 8)),
                        [](std::uint8_t b) { return b == 0; })) {
                    formatBlock(block);
                }
                return Status::success();
            });
        }
        state.port = std::move(*opened);
    }
    if (state.port == nullptr) return std::nullopt;
    return SignerPort(*state.port, shared, portName);
}

void saveSigner(SignerPort& port, const SignerState& state) {
    (void)port.locked([&](PortEntries& entries) {
        if (!entries.updateInt(kMedia, state.signerMedia)) {
            (void)entries.addInt(kMedia, state.signerMedia);
        }
        // An in-place update keeps the stored length: a certificate of
        // another length replaces the entry whole.
        platform::Outcome<std::uint32_t> stored = entries.get(kCertBytes, std::nullopt);
        if (!stored || *stored != state.signerCertBytes.size() ||
            !entries.update(kCertBytes, state.signerCertBytes)) {
            (void)entries.remove(kCertBytes);
            (void)entries.add(kCertBytes, state.signerCertBytes);
        }
        const std::pair<std::string_view, std::string_view> texts[] = {
            {kCertHash, state.signerCertHash},
            {kPassword, state.signerCertPasswd.view()},
            {kFolder, state.signerCertFilePath},
            {kName, state.signerCertFileName},
        };
        for (const auto& [key, text] : texts) {
            (void)entries.remove(key);
            (void)entries.add(key, textBytes(text));
        }
        return Status::success();
    });
}

std::optional<SavedSigner> readSavedSigner(SignerPort& port) {
    std::optional<SavedSigner> saved;
    (void)port.locked([&](PortEntries& entries) {
        if (!entries.exists(kCertBytes)) return Status::success();
        saved.emplace();
        saved->media = entries.readInt(kMedia);
        saved->hash = entries.readString(kCertHash);
        if (saved->media != signerMedia::kPersonalStore) {
            entries.readSecret(kPassword, saved->password);
            saved->folder = entries.readString(kFolder);
            saved->name = entries.readString(kName);
        }
        return Status::success();
    });
    return saved;
}

void updatePfxSignerPassword(SignerPort& port, std::string_view pfxPath,
                             std::string_view newPassword) {
    (void)port.locked([&](PortEntries& entries) {
        if (entries.readInt(kMedia) != signerMedia::kPfxFile) return Status::success();
        if (pfxFilePath(entries.readString(kFolder), entries.readString(kName)) != pfxPath) {
            return Status::success();
        }
        (void)entries.remove(kPassword);
        return entries.add(kPassword, textBytes(newPassword));
    });
}

}  // namespace pennaform::signing
