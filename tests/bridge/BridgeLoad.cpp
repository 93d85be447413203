#include "bridge/BridgeLoad.h"

#include <utility>

#include <openssl/x509.h>

#include <algorithm>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <cctype>
#include <cmath>
#include <latch>
#include <mutex>
#include <thread>

#include "platform/HexText.h"
#include "platform/Utf16Le.h"
#include "support/TestCa.h"
#include "support/TestCertificates.h"
#include "support/VectorFile.h"
#include "toolkit/testca/InstallCommand.h"

namespace pennaform::test {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kStoreOnly = 0x100;
constexpr std::int32_t kSha256 = 3;
constexpr std::size_t kProblemsKept = 10;

class BridgeChannel final : public CallChannel {
public:
    explicit BridgeChannel(std::uint16_t port) {
        beast::error_code error;
        socket_.next_layer().connect({net::ip::make_address("127.0.0.1"), port}, error);
        if (!error) socket_.handshake("127.0.0.1:" + std::to_string(port), "/", error);
        open_ = !error;
    }
    bool open() const { return open_; }

    std::optional<json> call(const json& request) override {
        const std::string text = request.dump();
        beast::error_code error;
        socket_.write(net::buffer(text), error);
        beast::flat_buffer answer;
        if (!error) socket_.read(answer, error);
        if (error) return std::nullopt;
        return json::parse(beast::buffers_to_string(answer.data()), nullptr, false);
    }

private:
    net::io_context io_;
    websocket::stream<net::ip::tcp::socket> socket_{io_};
    bool open_ = false;
};

std::vector<std::uint8_t> publicKeyInfoOf(const std::vector<std::uint8_t>& certificateDer) {
    const unsigned char* cursor = certificateDer.data();
    X509* certificate = d2i_X509(nullptr, &cursor, long(certificateDer.size()));
    if (certificate == nullptr) return {};
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    std::vector<std::uint8_t> info(der, der + std::max(length, 0));
    OPENSSL_free(der);
    X509_free(certificate);
    return info;
}

std::string utf16LeText(const std::string& ascii) {
    std::vector<std::uint8_t> bytes = utf16LeBytes(std::u16string(ascii.begin(), ascii.end()));
    return std::string(bytes.begin(), bytes.end());
}

// Client: one client's run, its findings kept apart until it ends.
struct Client {
    Client(const LoadPlan& givenPlan, std::size_t givenIndex)
        : plan(givenPlan), index(givenIndex) {}

    const LoadPlan& plan;
    std::size_t index;
    std::size_t correct = 0;
    std::vector<std::string> problems;
    std::vector<std::chrono::nanoseconds> latencies;
    bool dropped = false;

    // check: counts a call's answer as correct or not.
    void check(bool right, const std::string& what, const json& answer) {
        if (right) {
            ++correct;
        } else if (problems.size() < kProblemsKept) {
            problems.push_back("client " + std::to_string(index) + ", " + what + ": " +
                               answer.dump());
        } else {
            problems.emplace_back();  // counted, not kept
        }
    }

    void checkAnswer(std::size_t call, const std::string& text, const json& answer) {
        const bool answered = answer.is_object() && answer.value("errorCode", -1) == 0 &&
                              answer["result"].is_string();
        const std::string result = answered ? answer["result"].get<std::string>() : "";
        switch (call % 3) {
            case 0: {
                const std::vector<std::uint8_t> digest = digestOf("SHA256", utf16LeText(text));
                check(answered && result == upperHex(digest), "Hash", answer);
                break;
            }
            case 1:
                check(answered && result == plan.signer.subject, "GetCertSubject", answer);
                break;
            default: {
                const bool hex =
                    result.size() == 512 && std::all_of(result.begin(), result.end(), [](char c) {
                        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                    });
                const std::string signature = hex ? hexToBytes(result) : std::string();
                const std::vector<std::uint8_t> digest = digestOf("SHA256", utf16LeText(text));
                check(hex && verifiesPkcs1(plan.signer.publicKeyInfo, "SHA256", digest,
                                           {signature.begin(), signature.end()}),
                      "SignPkcs1", answer);
            }
        }
    }

    void run(CallChannel* channel, std::latch& ready) {
        ready.arrive_and_wait();
        if (channel == nullptr) {
            dropped = true;
            return;
        }
        std::optional<json> chosen = channel->call(
            {{"id", 0}, {"method", "SelectSigner"}, {"args", {plan.signer.filter, kStoreOnly, 0}}});
        if (!chosen) {
            dropped = true;
            return;
        }
        check(chosen->is_object() && (*chosen)["result"] == 0, "SelectSigner", *chosen);
        static const char* const kMethods[] = {"Hash", "GetCertSubject", "SignPkcs1"};
        for (std::size_t call = 0; call < plan.callsPerClient; ++call) {
            const std::string text =
                "load client " + std::to_string(index) + " call " + std::to_string(call);
            json args = json::array();
            if (call % 3 == 0) args = {text, kSha256};
            if (call % 3 == 2) args = {text, 0};
            const auto start = Clock::now();
            std::optional<json> answer =
                channel->call({{"id", call + 1}, {"method", kMethods[call % 3]}, {"args", args}});
            latencies.push_back(Clock::now() - start);
            if (!answer) {
                dropped = true;
                return;
            }
            checkAnswer(call, text, *answer);
        }
    }
};

}  // namespace

std::unique_ptr<CallChannel> openBridgeChannel(std::uint16_t port) {
    auto channel = std::make_unique<BridgeChannel>(port);
    if (!channel->open()) return nullptr;
    return channel;
}

std::optional<LoadSigner> installLoadSigner(const std::string& home) {
    TestCa ca;
    std::optional<std::vector<std::uint8_t>> root =
        ca.certificate("root", {"--ca", "--subject", "/C=TW/O=Load Test Root"});
    std::optional<std::vector<std::uint8_t>> signer =
        root ? ca.certificate("signer", {"--subject", "/C=TW/O=Example Bank/OU=Retail/CN=Wang",
                                         "--issuer-cert", ca.path("root.der"), "--issuer-key",
                                         ca.path("root.key.pem")})
             : std::nullopt;
    if (!signer ||
        testca::runInstallCommand({"--home", home, "--store", "MY", "--cert", ca.path("signer.der"),
                                   "--key", ca.path("signer.key.pem")}) != 0) {
        return std::nullopt;
    }
    return LoadSigner{"S_C=TW,S_O=Example Bank,S_OU=Retail,S_CN=Wang",
                      "C=TW, O=Example Bank, OU=Retail, CN=Wang", publicKeyInfoOf(*signer)};
}

double LoadReport::callsPerSecond() const {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return seconds > 0 ? double(latencies.size()) / seconds : 0;
}

std::chrono::nanoseconds LoadReport::percentile(double fraction) const {
    if (latencies.empty()) return {};
    std::vector<std::chrono::nanoseconds> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = std::size_t(std::ceil(fraction * double(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

LoadReport runLoad(const LoadPlan& plan,
                   const std::function<std::unique_ptr<CallChannel>(std::size_t client)>& open) {
    std::vector<std::unique_ptr<CallChannel>> channels(plan.clients);
    std::vector<Client> clients;
    clients.reserve(plan.clients);
    std::vector<std::thread> threads;
    // The clients and this thread start together once every channel is open.
    std::latch ready(std::ptrdiff_t(plan.clients) + 1);
    for (std::size_t i = 0; i < plan.clients; ++i) {
        clients.emplace_back(plan, i);
        threads.emplace_back([&, i] {
            channels[i] = open(i);
            clients[i].run(channels[i].get(), ready);
        });
    }
    ready.arrive_and_wait();
    const auto start = Clock::now();
    for (std::thread& thread : threads) thread.join();
    LoadReport report;
    report.elapsed = Clock::now() - start;
    channels.clear();
    for (Client& client : clients) {
        report.correct += client.correct;
        report.wrong += client.problems.size();
        report.dropped += client.dropped ? 1 : 0;
        for (std::string& problem : client.problems) {
            if (!problem.empty() && report.problems.size() < kProblemsKept) {
                report.problems.push_back(std::move(problem));
            }
        }
        report.latencies.insert(report.latencies.end(), client.latencies.begin(),
                                client.latencies.end());
    }
    return report;
}

}  // namespace pennaform::test
