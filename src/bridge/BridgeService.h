// BridgeService: the loopback service through which web pages call the
// component. A page opens a WebSocket to 127.0.0.1 or ::1 and sends calls as
// JSON (bridge/JsonCalls.h); each connection gets an Engine of its own, made
// when the connection is upgraded and ended when it closes.
//
// Who is served:
//  - only the user who runs the service: the owner of the connecting socket
//    is asked of the kernel before a byte is read, and any other user's
//    connection is closed unread;
//  - only requests whose Host names the loopback address and the service's
//    port (a page on a rebound DNS name is refused with 403);
//  - a page whose Origin is on the trusted list, or a local program that
//    sends no Origin, gets a normal Engine; any other origin an Engine in
//    protected mode. With a dialog host, the first WebSocket connection of
//    an origin neither trusted nor refused first asks the user whether to
//    trust it (bridge/TrustQuestions.h). A page's signer port is scoped to
//    its origin.
//
// `GET /` answers {"name","version","trusted"} for a page to find the
// service; a CORS preflight of a trusted origin is allowed, private network
// access included.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Outcome.h"
#include "platform/PlatformDialogs.h"

namespace pennaform::bridge {

// kDefaultPort: the port `pennaform serve` listens on unless told otherwise.
inline constexpr std::uint16_t kDefaultPort = 17325;

struct BridgeSettings {
    // port: 0 takes a free one (see BridgeService::port).
    std::uint16_t port = kDefaultPort;
    // homeOverride: the state home of every Engine and of the trusted list.
    std::optional<std::string> homeOverride;
    // makeDialogs: the dialog host of each connection's Engine, and the one
    // the trust questions are asked on (made at the first); none given, or
    // null returned, leaves the Engine headless and asks nothing.
    std::function<std::unique_ptr<platform::PlatformDialogs>()> makeDialogs;
    // The limits that keep the service up under any client.
    std::size_t largestMessage = 16u << 20;
    std::size_t mostConnections = 64;
    std::chrono::seconds idleTimeout{600};
    std::chrono::seconds requestTimeout{30};
    // threads: how many calls run at once (a call that shows a dialog keeps
    // its thread until the user answers).
    unsigned threads = 4;
};

class BridgeService {
public:
    // start: listens on 127.0.0.1 and, where the system has it, ::1, on the
    // same port, and serves on its own threads until stop or destruction.
    // The system's error when the port cannot be bound.
    static platform::Outcome<std::unique_ptr<BridgeService>> start(BridgeSettings settings);

    ~BridgeService();
    BridgeService(const BridgeService&) = delete;
    BridgeService& operator=(const BridgeService&) = delete;

    // port: the port listened on.
    std::uint16_t port() const;
    // openConnections: connections accepted and not yet closed.
    std::size_t openConnections() const;
    // waitForSignal: blocks until the process is sent SIGINT or SIGTERM, or
    // stop is called from another thread.
    void waitForSignal();
    // stop: closes the listeners and every connection, and joins the
    // threads (a trust question open waits for its answer). Calling it
    // again does nothing.
    void stop();

    struct State;

private:
    explicit BridgeService(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace pennaform::bridge
