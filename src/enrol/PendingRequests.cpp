#include "enrol/PendingRequests.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/FileTimes.h"
#include "platform/HexText.h"

namespace pennaform {
namespace {

using platform::Bytes;
using platform::ValueType;

constexpr std::string_view kProbeKey = "Software\\QUVO\\";
constexpr std::size_t kBlobHeaderLen = 8;

platform::ByteView textBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

Bytes dwordBytes(std::uint32_t value) {
    return {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
            std::uint8_t(value >> 24)};
}

// dwordValue: a DWORD value of the record, 0 when absent or too short.
std::uint32_t dwordValue(const platform::RegistryKey& key, std::string_view name) {
    platform::Outcome<platform::RegistryValue> value = key.queryValue(name);
    if (!value || value->data.size() < 4) return 0;
    const Bytes& d = value->data;
    return std::uint32_t(d[0]) | std::uint32_t(d[1]) << 8 | std::uint32_t(d[2]) << 16 |
           std::uint32_t(d[3]) << 24;
}

bool sameKey(const Bytes& stored, platform::ByteView wanted) {
    return stored.size() == wanted.size() && stored.size() >= kBlobHeaderLen &&
           std::equal(stored.begin() + kBlobHeaderLen, stored.end(),
                      wanted.begin() + kBlobHeaderLen);
}

}  // namespace

platform::Outcome<std::string> newContainerName(platform::RandomSource& random) {
    std::array<std::uint8_t, 16> bytes{};
    platform::Status filled = random.fill(bytes);
    if (!filled) return filled.failure();
    std::string name;
    constexpr std::size_t kGroups[] = {4, 2, 2, 2, 6};
    std::size_t at = 0;
    for (std::size_t group : kGroups) {
        if (!name.empty()) name += '-';
        appendUpperHex(name, std::span<const std::uint8_t>(bytes).subspan(at, group));
        at += group;
    }
    platform::wipeMemory(bytes.data(), bytes.size());
    return name;
}

std::string localDateTime(const platform::OsFacts& os) {
    std::optional<platform::FileTime> local =
        platform::fileTimeToLocalFileTime(os.currentTime(), os.localTimeOffsetSeconds());
    platform::SystemTime time;
    if (local) time = platform::fileTimeToSystemTime(*local).value_or(time);
    char text[40];
    std::snprintf(text, sizeof text, "%4d/%02d/%02d %02d:%02d:%02d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    return text;
}

platform::Status probeRegistryWrite(platform::Registry& registry, platform::RandomSource& random) {
    platform::Outcome<std::unique_ptr<platform::RegistryKey>> key = registry.createKey(kProbeKey);
    if (!key) return key.failure();
    platform::Outcome<std::string> name = newContainerName(random);
    if (!name) return name.failure();
    platform::Status written = (*key)->setValue(*name, ValueType::kDword, dwordBytes(1));
    if (!written) return written;
    return (*key)->deleteValue(*name);
}

platform::Status writePendingRequest(platform::Registry& registry, std::string_view branch,
                                     std::string_view containerName,
                                     const PendingRequest& request) {
    std::string path(branch);
    path += '\\';
    path += containerName;
    platform::Outcome<std::unique_ptr<platform::RegistryKey>> key = registry.createKey(path);
    if (!key) return key.failure();
    platform::RegistryKey& record = **key;
    (void)record.setValue("ProviderName", ValueType::kString, textBytes(request.providerName));
    (void)record.setValue("ProviderType", ValueType::kDword, dwordBytes(request.providerType));
    (void)record.setValue("KeySpec", ValueType::kDword, dwordBytes(request.keySpec));
    (void)record.setValue("PublicKey", ValueType::kBinary, request.publicKeyBlob);
    (void)record.setValue("DateTime", ValueType::kString, textBytes(request.dateTime));
    (void)record.setValue("CommonName", ValueType::kString, textBytes(request.commonName));
    return platform::Status::success();
}

platform::Outcome<FoundRequest> findPendingRequest(platform::Registry& registry,
                                                   std::string_view branch,
                                                   platform::ByteView publicKeyBlob) {
    platform::Outcome<std::unique_ptr<platform::RegistryKey>> records =
        registry.openKey(platform::Hive::kCurrentUser, branch);
    if (!records) return records.failure();
    for (std::uint32_t index = 0;; ++index) {
        platform::Outcome<std::string> name = (*records)->subkeyName(index);
        if (!name) return name.failure();
        platform::Outcome<std::unique_ptr<platform::RegistryKey>> record =
            registry.openKey(platform::Hive::kCurrentUser, std::string(branch) + '\\' + *name);
        if (!record) continue;
        platform::Outcome<platform::RegistryValue> stored = (*record)->queryValue("PublicKey");
        if (!stored || !sameKey(stored->data, publicKeyBlob)) continue;
        FoundRequest found;
        found.containerName = *name;
        found.providerType = dwordValue(**record, "ProviderType");
        found.keySpec = dwordValue(**record, "KeySpec");
        platform::Outcome<platform::RegistryValue> provider = (*record)->queryValue("ProviderName");
        if (provider) {
            found.providerName.assign(provider->data.begin(), provider->data.end());
            found.providerName = found.providerName.substr(0, found.providerName.find('\0'));
        }
        return found;
    }
}

}  // namespace pennaform
