// The loopback bridge under load: CLIENTS WebSocket connections to a
// `pennaform serve` process at once, each selecting a signer and making CALLS
// calls (Hash, GetCertSubject, SignPkcs1 in turn), every answer checked as the
// load test checks it. Reports calls per second, the 99th-percentile latency
// and the service's resident memory before, at the peak and after the clients
// have gone, for several rounds on one service; then the same load through CLIENTS `pennaform
// session` processes, one per client, each with an Engine of its own as each bridge connection has.
// Exits 1 when an answer was wrong or a client dropped.
//   bench_bridge_load [PENNAFORM_COMMAND [CLIENTS [CALLS [ROUNDS]]]]
//     (default build/cli/pennaform 50 200 3; BRIDGE_PORT picks the port)
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "bridge/BridgeLoad.h"
#include "support/Process.h"
#include "support/TemporaryFolder.h"

namespace {

using namespace pennaform::test;
using nlohmann::json;

// residentKilobytes: a resident-memory line of the process's status (VmRSS
// for all of it, RssAnon for its heap and stacks without the pages of the
// program and libraries it ran), 0 when it cannot be read.
long residentKilobytes(pid_t pid, const std::string& field = "VmRSS:") {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size());
    }
    return 0;
}

// SessionChannel: a `pennaform session` process, one JSON line each way.
class SessionChannel final : public CallChannel {
public:
    explicit SessionChannel(std::unique_ptr<RunningProcess> process)
        : process_(std::move(process)) {}
    std::optional<json> call(const json& request) override {
        if (!process_->writeAll(request.dump() + "\n")) return std::nullopt;
        std::optional<std::string> line = process_->readLine(std::chrono::seconds(60));
        if (!line) return std::nullopt;
        return json::parse(*line, nullptr, false);
    }

private:
    std::unique_ptr<RunningProcess> process_;
};

bool report(const char* name, const LoadPlan& plan, const LoadReport& load) {
    std::printf(
        "%-8s %zu clients x %zu calls: %.0f calls/s, p50 %.2f ms, p99 %.2f ms; %zu right, "
        "%zu wrong, %zu clients dropped\n",
        name, plan.clients, plan.callsPerClient, load.callsPerSecond(),
        std::chrono::duration<double, std::milli>(load.percentile(0.50)).count(),
        std::chrono::duration<double, std::milli>(load.percentile(0.99)).count(), load.correct,
        load.wrong, load.dropped);
    for (const std::string& problem : load.problems) std::printf("  %s\n", problem.c_str());
    return load.wrong == 0 && load.dropped == 0 &&
           load.correct == plan.clients * (plan.callsPerClient + 1);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "build/cli/pennaform";
    LoadPlan plan;
    plan.clients = argc > 2 ? std::size_t(std::atol(argv[2])) : 50;
    plan.callsPerClient = argc > 3 ? std::size_t(std::atol(argv[3])) : 200;
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
    const char* portText = std::getenv("BRIDGE_PORT");
    const std::string port =
        std::to_string(portText != nullptr ? std::atoi(portText) : 20000 + ::getpid() % 20000);

    TemporaryFolder folder;
    const std::string home = folder.sub("home");
    std::optional<LoadSigner> signer = installLoadSigner(home);
    if (!signer) {
        std::fprintf(stderr, "bench_bridge_load: the signer could not be installed\n");
        return 2;
    }
    plan.signer = *signer;

    auto service = RunningProcess::start({command, "--home", home, "serve", "--port", port});
    std::optional<std::string> serving =
        service ? service->readLine(std::chrono::seconds(10)) : std::nullopt;
    if (!serving || serving->find("serving") == std::string::npos) {
        std::fprintf(stderr, "bench_bridge_load: %s serve did not start on port %s\n",
                     command.c_str(), port.c_str());
        return 2;
    }
    // Several rounds on one service: what the first round leaves behind (the
    // algorithms and tables loaded once, the heap's high-water mark) must not
    // grow in the rounds after it.
    const pid_t servicePid = service->pid();
    const auto portNumber = std::uint16_t(std::stoi(port));
    bool right = true;
    long idle = residentKilobytes(servicePid);
    long idleAnonymous = residentKilobytes(servicePid, "RssAnon:");
    for (int round = 1; round <= rounds; ++round) {
        std::atomic<bool> loading{true};
        std::atomic<long> peak{idle};
        std::thread sampler([&] {
            while (loading) {
                peak = std::max(peak.load(), residentKilobytes(servicePid));
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        LoadReport bridge =
            runLoad(plan, [portNumber](std::size_t) { return openBridgeChannel(portNumber); });
        loading = false;
        sampler.join();
        std::printf("round %d: ", round);
        right = report("bridge", plan, bridge) && right;
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const long after = residentKilobytes(servicePid);
        const long afterAnonymous = residentKilobytes(servicePid, "RssAnon:");
        std::printf(
            "  service VmRSS: %ld KiB before, %ld KiB at the peak, %ld KiB 2 s after the "
            "clients closed; of it RssAnon: %ld KiB before, %ld KiB after\n",
            idle, peak.load(), after, idleAnonymous, afterAnonymous);
        idle = after;
        idleAnonymous = afterAnonymous;
    }
    service->kill(SIGTERM);
    const int serviceEnd = service->waitFor(std::chrono::seconds(10));
    if (serviceEnd != 0) {
        std::printf("the service ended with status %d at SIGTERM\n", serviceEnd);
        right = false;
    }

    LoadReport sessions = runLoad(plan, [&](std::size_t) -> std::unique_ptr<CallChannel> {
        auto process = RunningProcess::start({command, "--home", home, "session"});
        if (!process) return nullptr;
        return std::make_unique<SessionChannel>(std::move(process));
    });
    right = report("session", plan, sessions) && right;
    return right ? 0 : 1;
}
