// PendingRequests: the per-user records of the keys made for certificate
// requests, one registry key per key container, by which an issued
// certificate finds its key again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Outcome.h"
#include "platform/Platform.h"

namespace pennaform {

// PendingRequest: one record's values, in the order they are written.
struct PendingRequest {
    std::string providerName;  // process code page
    std::uint32_t providerType = 0;
    std::uint32_t keySpec = 0;
    platform::Bytes publicKeyBlob;  // PUBLICKEYBLOB of the key
    std::string dateTime;           // "YYYY/MM/DD hh:mm:ss", local time
    std::string commonName;         // process code page
};

// FoundRequest: the record whose key matched, with the container's name.
struct FoundRequest {
    std::string containerName;
    std::string providerName;
    std::uint32_t providerType = 0;
    std::uint32_t keySpec = 0;
};

// newContainerName: 36 characters in the shape of a GUID
// (XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX, upper-case hex) from 16 bytes of
// the system's random source; the source's error when it cannot be read.
platform::Outcome<std::string> newContainerName(platform::RandomSource& random);

// localDateTime: the local time now as a record's "DateTime" shows it.
std::string localDateTime(const platform::OsFacts& os);

// probeRegistryWrite: whether the user's registry can be written under
// "Software\QUVO\": creates that key, writes a DWORD value under a fresh
// container-style name and deletes it again. The first failing step's error.
platform::Status probeRegistryWrite(platform::Registry& registry, platform::RandomSource& random);

// writePendingRequest: creates the key `branch`\`containerName` and writes
// the six values; the error of creating the key (the writes' own results are
// not checked, as a record is only a hint for the later installation).
platform::Status writePendingRequest(platform::Registry& registry, std::string_view branch,
                                     std::string_view containerName, const PendingRequest& request);

// findPendingRequest: the first record under `branch`, in the registry's
// order of its subkeys, whose "PublicKey" has the length of `publicKeyBlob`
// and the same bytes after the 8-byte blob header (which names the key's
// algorithm, and may differ). Records without "PublicKey" are passed over.
// Failures: the error of opening `branch`; when no record matches, the
// enumeration's end (ERROR_NO_MORE_ITEMS).
platform::Outcome<FoundRequest> findPendingRequest(platform::Registry& registry,
                                                   std::string_view branch,
                                                   platform::ByteView publicKeyBlob);

}  // namespace pennaform
