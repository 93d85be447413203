// BridgeLoad: many clients calling the component at once, each through a
// channel of its own (a WebSocket to the bridge, or a session process), with
// every answer checked: Hash against OpenSSL's digest, GetCertSubject against
// the signer's subject, each SignPkcs1 signature verified with the signer's
// public key. The load test and the bridge benchmark share it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace pennaform::test {

// CallChannel: one client's calls, one at a time.
class CallChannel {
public:
    virtual ~CallChannel() = default;
    // call: the answer to {"id","method","args"}; nullopt when the channel
    // broke (the client is then counted as dropped).
    virtual std::optional<nlohmann::json> call(const nlohmann::json& request) = 0;
};

// openBridgeChannel: a WebSocket to the bridge on the loopback port, as a
// local program (no Origin); null when the upgrade failed.
std::unique_ptr<CallChannel> openBridgeChannel(std::uint16_t port);

// LoadSigner: a signer installed in the personal store of a home, for
// SelectSigner to find by its common name.
struct LoadSigner {
    std::string filter;   // SelectSigner's filter
    std::string subject;  // what GetCertSubject answers
    std::vector<std::uint8_t> publicKeyInfo;
};

// installLoadSigner: a new RSA-2048 signer issued by a new test root, in
// `home`'s "MY" store; nullopt when it could not be made or installed.
std::optional<LoadSigner> installLoadSigner(const std::string& home);

struct LoadPlan {
    std::size_t clients = 10;
    std::size_t callsPerClient = 20;  // after each client's SelectSigner
    LoadSigner signer;
};

struct LoadReport {
    std::size_t correct = 0;
    std::size_t wrong = 0;
    std::size_t dropped = 0;            // clients whose channel failed or never opened
    std::vector<std::string> problems;  // the first few wrong answers, for a message
    std::vector<std::chrono::nanoseconds> latencies;  // one per call, SelectSigner excluded
    std::chrono::nanoseconds elapsed{};               // from all clients ready to the last answer

    double callsPerSecond() const;
    // percentile: the latency that `fraction` (0.99) of the calls did not exceed.
    std::chrono::nanoseconds percentile(double fraction) const;
};

// runLoad: the plan's clients at once, each on a thread of its own through
// the channel `open` gives it (opened before any client starts calling).
// Each selects the signer, then cycles Hash, GetCertSubject and SignPkcs1 on
// texts of its own.
LoadReport runLoad(const LoadPlan& plan,
                   const std::function<std::unique_ptr<CallChannel>(std::size_t client)>& open);

}  // namespace pennaform::test
