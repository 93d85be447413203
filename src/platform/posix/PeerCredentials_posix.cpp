// tcpPeerOwner through netlink sock_diag: an exact lookup of the peer's
// socket by its two ends, whose answer carries the socket's owner.
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/PeerCredentials.h"
#include "platform/PlatformError.h"
#include "platform/posix/FileDescriptor.h"
#include "platform/posix/PosixErrors.h"

namespace pennaform::platform {
namespace {

struct DiagRequest {
    nlmsghdr header;
    inet_diag_req_v2 body;
};

void copyAddress(const TcpEndpoint& end, __be32 (&into)[4]) {
    std::memcpy(into, end.address.data(), end.isV6 ? 16 : 4);
}

Failure systemFailure(int error) {
    return fail(windowsErrorFor(error, ErrnoContext::kReadingFile));
}

}  // namespace

Outcome<std::uint32_t> tcpPeerOwner(const TcpEndpoint& local, const TcpEndpoint& remote) {
    if (local.isV6 != remote.isV6) return fail(errors::kErrorInvalidParameter);
    FileDescriptor socket(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (!socket.valid()) return systemFailure(errno);

    // The peer's socket: its source is the remote end, its destination ours.
    DiagRequest request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = 1;
    request.body.sdiag_family = remote.isV6 ? AF_INET6 : AF_INET;
    request.body.sdiag_protocol = IPPROTO_TCP;
    request.body.idiag_states = ~0u;
    request.body.id.idiag_sport = htons(remote.port);
    request.body.id.idiag_dport = htons(local.port);
    copyAddress(remote, request.body.id.idiag_src);
    copyAddress(local, request.body.id.idiag_dst);
    request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(socket.get(), &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) != ssize_t(sizeof request)) {
        return systemFailure(errno);
    }

    alignas(nlmsghdr) unsigned char answer[8192];
    ssize_t received = ::recv(socket.get(), answer, sizeof answer, 0);
    if (received < 0) return systemFailure(errno);
    // Each message is checked to lie within what was received before it is
    // read (the macros' own checks compare a signed length with an unsigned).
    const std::size_t total = std::size_t(received);
    for (std::size_t at = 0; at + sizeof(nlmsghdr) <= total;) {
        const auto* message = reinterpret_cast<const nlmsghdr*>(answer + at);
        const std::size_t length = message->nlmsg_len;
        if (length < sizeof(nlmsghdr) || length > total - at) break;
        if (message->nlmsg_type == NLMSG_ERROR) {
            if (length < NLMSG_LENGTH(sizeof(nlmsgerr))) break;
            int error = -static_cast<const nlmsgerr*>(NLMSG_DATA(message))->error;
            if (error == ENOENT) return fail(errors::kErrorFileNotFound);
            return systemFailure(error);
        }
        if (message->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
            length >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            return static_cast<const inet_diag_msg*>(NLMSG_DATA(message))->idiag_uid;
        }
        at += NLMSG_ALIGN(length);
    }
    return fail(errors::kErrorFileNotFound);
}

std::uint32_t currentUserId() {
    return ::getuid();
}

}  // namespace pennaform::platform
