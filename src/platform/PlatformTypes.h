// PlatformTypes: the small vocabulary shared by the platform services: bytes,
// file times, key specs, algorithm ids and the key binding of a certificate.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace pennaform::platform {

// Bytes: binary data crossing the platform interface; the holder owns it.
using Bytes = std::vector<std::uint8_t>;
// ByteView: borrowed binary input, valid for the duration of the call only.
using ByteView = std::span<const std::uint8_t>;

// FileTime: an instant as Windows counts it, 100-ns ticks since
// 1601-01-01 00:00:00 UTC (the Unix epoch is 116444736000000000).
struct FileTime {
    std::uint64_t ticks = 0;
    friend constexpr auto operator<=>(const FileTime&, const FileTime&) = default;
};

// KeySpec: the slot of a key container that holds an RSA key pair. Other
// values may arrive in key-provider information read from a store.
enum class KeySpec : std::uint32_t {
    kKeyExchange = 1,  // AT_KEYEXCHANGE
    kSignature = 2,    // AT_SIGNATURE
};

// AlgId: a Windows ALG_ID.
using AlgId = std::uint32_t;

namespace algorithms {
inline constexpr AlgId kRsaKeyExchange = 0xA400;  // CALG_RSA_KEYX
inline constexpr AlgId kRsaSign = 0x2400;         // CALG_RSA_SIGN
inline constexpr AlgId kDes = 0x6601;
inline constexpr AlgId kRc2 = 0x6602;
inline constexpr AlgId k3Des = 0x6603;
inline constexpr AlgId k3Des112 = 0x6609;
inline constexpr AlgId kAes128 = 0x660E;
inline constexpr AlgId kAes192 = 0x660F;
inline constexpr AlgId kAes256 = 0x6610;
inline constexpr AlgId kRc4 = 0x6801;
inline constexpr AlgId kMd5 = 0x8003;
inline constexpr AlgId kSha1 = 0x8004;
inline constexpr AlgId kSha256 = 0x800C;
inline constexpr AlgId kSha384 = 0x800D;
inline constexpr AlgId kSha512 = 0x800E;
}  // namespace algorithms

// Provider types the component uses.
namespace providerTypes {
inline constexpr std::uint32_t kRsaFull = 1;  // PROV_RSA_FULL
inline constexpr std::uint32_t kRsaAes = 24;  // PROV_RSA_AES
}  // namespace providerTypes

// KeyProvInfo: the key binding of a certificate (CERT_KEY_PROV_INFO_PROP_ID):
// which container of which provider holds its private key, in which slot.
// Names are UTF-16, as the property keeps them.
struct KeyProvInfo {
    std::u16string containerName;
    std::u16string providerName;
    std::uint32_t providerType = 0;
    std::uint32_t flags = 0;
    KeySpec keySpec = KeySpec::kKeyExchange;
    friend bool operator==(const KeyProvInfo&, const KeyProvInfo&) = default;
};

class KeyContainer;

// KeyContext: an open key container and the slot to use
// (CERT_KEY_CONTEXT_PROP_ID). The container is shared: a store that caches
// it on a certificate and the caller that acquired it both keep it alive.
struct KeyContext {
    std::shared_ptr<KeyContainer> container;
    KeySpec keySpec = KeySpec::kKeyExchange;
};

}  // namespace pennaform::platform
