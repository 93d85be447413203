#include "bridge/TrustedOrigins.h"

#include "platform/AsciiCase.h"
#include "platform/PlatformError.h"

namespace pennaform::bridge {
namespace {

using platform::Hive;

// A registry key name holds at most 255 characters; an origin longer than
// that is no origin a browser would send for a page a user trusts.
constexpr std::size_t kLongestOrigin = 255;

bool isSchemeCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool isHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

bool isDigits(std::string_view text) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// An IPv6 literal in brackets: hex digits, colons and dots only.
bool isBracketedAddress(std::string_view host) {
    if (host.size() < 4 || host.front() != '[' || host.back() != ']') return false;
    for (char c : host.substr(1, host.size() - 2)) {
        bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        if (!hex && c != ':' && c != '.') return false;
    }
    return true;
}

std::string keyPathOf(const std::string& origin) {
    return std::string(kTrustedOriginsKey) + "\\" + origin;
}

}  // namespace

std::optional<std::string> normalizedOrigin(std::string_view text) {
    if (text.empty() || text.size() > kLongestOrigin) return std::nullopt;
    std::string origin = asciiLowered(text);
    std::size_t schemeEnd = origin.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0) return std::nullopt;
    std::string_view scheme = std::string_view(origin).substr(0, schemeEnd);
    if (scheme.front() < 'a' || scheme.front() > 'z') return std::nullopt;
    for (char c : scheme) {
        if (!isSchemeCharacter(c)) return std::nullopt;
    }
    std::string_view authority = std::string_view(origin).substr(schemeEnd + 3);
    std::string_view host = authority;
    std::size_t portAt = authority.rfind(':');
    if (portAt != std::string_view::npos && authority.find(']', portAt) == std::string_view::npos) {
        if (!isDigits(authority.substr(portAt + 1))) return std::nullopt;
        host = authority.substr(0, portAt);
    }
    if (host.empty()) return std::nullopt;
    if (host.front() == '[') return isBracketedAddress(host) ? std::optional(origin) : std::nullopt;
    for (char c : host) {
        if (!isHostCharacter(c)) return std::nullopt;
    }
    return origin;
}

bool TrustedOrigins::contains(std::string_view origin) const {
    std::optional<std::string> normal = normalizedOrigin(origin);
    return normal && registry_.openKey(Hive::kCurrentUser, keyPathOf(*normal)).ok();
}

platform::Status TrustedOrigins::add(std::string_view origin) {
    std::optional<std::string> normal = normalizedOrigin(origin);
    if (!normal) return platform::fail(platform::errors::kErrorInvalidParameter);
    platform::Outcome<std::unique_ptr<platform::RegistryKey>> key =
        registry_.createKey(keyPathOf(*normal));
    if (!key) return key.failure();
    return platform::Status::success();
}

platform::Status TrustedOrigins::remove(std::string_view origin) {
    std::optional<std::string> normal = normalizedOrigin(origin);
    if (!normal) return platform::fail(platform::errors::kErrorInvalidParameter);
    return registry_.deleteKeyTree(Hive::kCurrentUser, keyPathOf(*normal));
}

platform::Outcome<std::vector<std::string>> TrustedOrigins::list() const {
    std::vector<std::string> origins;
    platform::Outcome<std::unique_ptr<platform::RegistryKey>> key =
        registry_.openKey(Hive::kCurrentUser, kTrustedOriginsKey);
    if (!key) {
        if (key.error() == platform::errors::kErrorFileNotFound) return origins;
        return key.failure();
    }
    for (std::uint32_t index = 0;; ++index) {
        platform::Outcome<std::string> name = (*key)->subkeyName(index);
        if (!name) {
            if (name.error() == platform::errors::kErrorNoMoreItems) break;
            return name.failure();
        }
        origins.push_back(std::move(*name));
    }
    return origins;
}

}  // namespace pennaform::bridge
