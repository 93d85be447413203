// PeerCredentials: who owns the other end of a loopback TCP connection. A
// loopback service reads it before it reads a byte from the peer: any user
// of the machine can reach a loopback port, and only the kernel can say
// which user did.
#pragma once

#include <array>
#include <cstdint>

#include "platform/Outcome.h"

namespace pennaform::platform {

// TcpEndpoint: one end of a TCP connection, an IPv4 address in the first four
// bytes of `address` or an IPv6 one in all sixteen.
struct TcpEndpoint {
    std::array<std::uint8_t, 16> address{};
    bool isV6 = false;
    std::uint16_t port = 0;
};

// tcpPeerOwner: the user id that owns the connecting socket of an accepted
// connection whose local end (the service's) is `local` and whose remote end
// (the peer's) is `remote`; both ends must be on this machine. Asks the
// kernel's socket diagnostics. ERROR_FILE_NOT_FOUND when no such socket is
// known (it closed already, or the peer is on another machine), the system's
// error otherwise.
Outcome<std::uint32_t> tcpPeerOwner(const TcpEndpoint& local, const TcpEndpoint& remote);

// currentUserId: the real user id of this process.
std::uint32_t currentUserId();

}  // namespace pennaform::platform
