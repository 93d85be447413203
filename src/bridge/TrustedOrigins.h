// TrustedOrigins: the web origins whose pages the bridge serves with a normal
// Engine; every other page gets the protected one. The list lives in the
// per-user registry, one key per origin under kTrustedOriginsKey, so that it
// follows the user's state home like the rest of the component's settings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Outcome.h"
#include "platform/Registry.h"

namespace pennaform::bridge {

inline constexpr std::string_view kTrustedOriginsKey =
    "Software\\Pennaform\\Bridge\\TrustedOrigins";

// normalizedOrigin: a web origin as browsers send it ("https://example.org",
// "http://127.0.0.1:8080", "http://[::1]:8080"): scheme and host in lower
// case, no path, query, user or trailing slash. nullopt for anything else,
// "null" (an opaque origin, which no list may trust) included.
std::optional<std::string> normalizedOrigin(std::string_view text);

class TrustedOrigins {
public:
    explicit TrustedOrigins(platform::Registry& registry) : registry_(registry) {}

    // contains: whether the origin is on the list; false for a text that is
    // not an origin and when the list cannot be read.
    bool contains(std::string_view origin) const;
    // add: puts the origin on the list (already there is success);
    // ERROR_INVALID_PARAMETER for a text that is not an origin.
    platform::Status add(std::string_view origin);
    // remove: takes the origin off the list; ERROR_FILE_NOT_FOUND when it
    // was not on it, ERROR_INVALID_PARAMETER for a text that is not an origin.
    platform::Status remove(std::string_view origin);
    // list: the origins in ascending order; empty when none was ever added.
    platform::Outcome<std::vector<std::string>> list() const;

private:
    platform::Registry& registry_;
};

}  // namespace pennaform::bridge
