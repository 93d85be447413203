// The loopback bridge seen from its clients: a Beast WebSocket and HTTP
// client in this process, and one in a child that runs as another user.
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <functional>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "bridge/BridgeService.h"
#include "bridge/TrustedOrigins.h"
#include "gtest/gtest.h"
#include "platform/PlatformError.h"
#include "platform/PlatformFactory.h"
#include "signing/SignerPort.h"
#include "support/TemporaryFolder.h"
#include "ui/hosts/DialogHostFactory.h"

namespace pennaform::bridge {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using nlohmann::json;
using test::TemporaryFolder;

constexpr std::string_view kTrustedSite = "https://bank.example";

class BridgeServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(home_.path().empty());
        auto platform = platform::makePlatform(platform::StateHome(home_.sub("home")));
        ASSERT_TRUE(TrustedOrigins(*platform->registry()).add(kTrustedSite).ok());
        restart([](BridgeSettings&) {});
    }

    // restart: a new service on the test's home, with the settings the test
    // changes from the fixture's.
    void restart(const std::function<void(BridgeSettings&)>& change) {
        service_.reset();
        BridgeSettings settings;
        settings.port = 0;
        settings.homeOverride = home_.sub("home");
        settings.largestMessage = 64 * 1024;
        change(settings);
        auto started = BridgeService::start(std::move(settings));
        ASSERT_TRUE(started.ok()) << started.error();
        service_ = std::move(*started);
    }

    std::string loopbackHost() const { return "127.0.0.1:" + std::to_string(service_->port()); }

    // get: one HTTP request with the given Host (and Origin, unless empty).
    http::response<http::string_body> request(http::verb verb, std::string_view host,
                                              std::string_view origin = {}) {
        net::io_context io;
        tcp::socket socket(io);
        socket.connect({net::ip::make_address("127.0.0.1"), service_->port()});
        http::request<http::empty_body> out(verb, "/", 11);
        out.set(http::field::host, std::string(host));
        if (!origin.empty()) out.set(http::field::origin, std::string(origin));
        if (verb == http::verb::options) {
            out.set(http::field::access_control_request_method, "GET");
            out.set("Access-Control-Request-Private-Network", "true");
        }
        http::write(socket, out);
        beast::flat_buffer buffer;
        http::response<http::string_body> in;
        beast::error_code error;
        http::read(socket, buffer, in, error);
        return in;
    }

    // Client: a WebSocket connection as a page of `origin` (none: a local
    // program) would open it.
    struct Client {
        net::io_context io;
        websocket::stream<tcp::socket> socket{io};
        beast::error_code handshake;

        Client(std::uint16_t port, std::string_view origin, std::string host = {}) {
            socket.next_layer().connect({net::ip::make_address("127.0.0.1"), port});
            socket.set_option(websocket::stream_base::decorator(
                [origin = std::string(origin)](websocket::request_type& request) {
                    if (!origin.empty()) request.set(http::field::origin, origin);
                }));
            if (host.empty()) host = "127.0.0.1:" + std::to_string(port);
            socket.handshake(host, "/", handshake);
        }
        beast::error_code send(std::string_view text) {
            beast::error_code error;
            socket.write(net::buffer(text.data(), text.size()), error);
            return error;
        }
        std::optional<json> answer() {
            beast::flat_buffer buffer;
            beast::error_code error;
            socket.read(buffer, error);
            if (error) return std::nullopt;
            return json::parse(beast::buffers_to_string(buffer.data()), nullptr, false);
        }
        json call(std::string_view method, json args) {
            json request = {{"id", 1}, {"method", method}, {"args", std::move(args)}};
            EXPECT_FALSE(send(request.dump()));
            return answer().value_or(json());
        }
    };

    bool waitForNoConnections() {
        for (int i = 0; i < 200 && service_->openConnections() != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return service_->openConnections() == 0;
    }

    TemporaryFolder home_;
    std::unique_ptr<BridgeService> service_;
};

// What a request of each Host header gets: only the loopback address (or
// localhost) with the service's own port is served.
TEST_F(BridgeServiceTest, ServesOnlyAHostHeaderNamingItsLoopbackAddressAndPort) {
    const std::string port = std::to_string(service_->port());
    const std::string otherPort = std::to_string(service_->port() == 1 ? 2 : service_->port() - 1);
    struct Case {
        std::string host;
        bool served;
    } cases[] = {
        {"127.0.0.1:" + port, true},
        {"[::1]:" + port, true},
        {"LOCALHOST:" + port, true},
        {"rebound.example:" + port, false},
        {"127.0.0.1:" + otherPort, false},
        {"127.0.0.1", false},
        {"127.0.0.1:" + port + ".evil", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        auto answer = request(http::verb::get, c.host);
        EXPECT_EQ(answer.result(), c.served ? http::status::ok : http::status::forbidden);
        Client client(service_->port(), "", c.host.empty() ? "-" : c.host);
        EXPECT_EQ(!client.handshake, c.served) << client.handshake.message();
    }
}

// A page of a trusted origin and a local program without an Origin get the
// normal component; any other origin the protected one, whose gated
// operations answer 1500 while the others work.
TEST_F(BridgeServiceTest, AnOriginOffTheTrustedListGetsTheProtectedEngine) {
    struct Case {
        std::string_view origin;
        bool trusted;
    } cases[] = {
        {"", true},
        {kTrustedSite, true},
        {"HTTPS://Bank.Example", true},
        {"https://bank.example:444", false},
        {"https://evil.example", false},
        {"null", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.origin));
        auto about = json::parse(request(http::verb::get, loopbackHost(), c.origin).body());
        EXPECT_EQ(about["name"], "Pennaform");
        EXPECT_EQ(about["trusted"], c.trusted);

        auto preflight = request(http::verb::options, loopbackHost(), c.origin);
        EXPECT_EQ(preflight["Access-Control-Allow-Private-Network"] == "true",
                  c.trusted && !c.origin.empty());

        Client client(service_->port(), c.origin);
        ASSERT_FALSE(client.handshake) << client.handshake.message();
        json hashed = client.call("Hash", {"abc", 0});
        EXPECT_EQ(hashed["errorCode"], c.trusted ? 0 : 1500);
        EXPECT_EQ(hashed["result"] == "", !c.trusted);
        EXPECT_EQ(client.call("GetErrorCode", json::array())["result"], c.trusted ? 0 : 1500);
        EXPECT_EQ(client.call("GetMacAddress", json::array())["errorCode"] == 1500, !c.trusted);
        EXPECT_EQ(client.call("GetVersion", json::array())["result"], "4.2.3.0");
        EXPECT_EQ(client.call("SelectSigner", {"", 0, 0})["errorCode"] == 1500, !c.trusted);
    }
}

// Malformed messages are each answered with a usage error (with the id when
// one could be read) and the connection goes on; a message over the limit
// ends its own connection only; a closed connection ends its Engine.
TEST_F(BridgeServiceTest, HostileMessagesLeaveTheServiceAnswering) {
    const std::string malformed[] = {
        "",
        "{",
        "[]",
        "42",
        R"({"id":3})",
        R"({"id":4,"method":7})",
        R"({"id":5,"method":"NoSuchMethod","args":[]})",
        R"({"id":6,"method":"Hash","args":["abc"]})",
        R"({"id":7,"method":"Hash","args":[0,0]})",
        R"({"id":8,"method":"Hash","args":["abc",4294967296]})",
        R"({"id":9,"method":"Hash","args":"abc"})",
        R"({"id":[[[[[[[[[[1]]]]]]]]]],"method":"GetVersion"})",
    };
    Client client(service_->port(), "");
    ASSERT_FALSE(client.handshake);
    for (int round = 0; round < 200; ++round) {
        const std::string& text = malformed[std::size_t(round) % std::size(malformed)];
        ASSERT_FALSE(client.send(text)) << text;
        std::optional<json> answer = client.answer();
        ASSERT_TRUE(answer) << text;
        EXPECT_TRUE(answer->contains("usageError")) << text;
        json sent = json::parse(text, nullptr, false);
        if (sent.is_object() && sent.contains("id") && sent["id"].is_number()) {
            EXPECT_EQ((*answer)["id"], sent["id"]) << text;
        }
    }
    json version = client.call("GetVersion", json::array());
    EXPECT_EQ(version["id"], 1);
    EXPECT_EQ(version["result"], "4.2.3.0");

    Client oversized(service_->port(), "");
    ASSERT_FALSE(oversized.handshake);
    std::string big = R"({"method":"Hash","args":[")" + std::string(65 * 1024, 'a') + R"(",0]})";
    (void)oversized.send(big);
    EXPECT_FALSE(oversized.answer());
    EXPECT_EQ(client.call("Hash", {"abc", 0})["errorCode"], 0);

    client.socket.close(websocket::close_code::normal);
    oversized.socket.next_layer().close();
    EXPECT_TRUE(waitForNoConnections()) << service_->openConnections();
    Client later(service_->port(), "");
    EXPECT_EQ(later.call("GetVersion", json::array())["result"], "4.2.3.0");
}

// At most mostConnections are served at once: one more is closed before its
// upgrade, and once a served one closes a new one is admitted again.
TEST_F(BridgeServiceTest, TheConnectionCapRefusesOneMoreUntilOneCloses) {
    constexpr std::size_t kCap = 64;
    restart([](BridgeSettings& settings) { settings.mostConnections = kCap; });
    std::vector<std::unique_ptr<Client>> served;
    for (std::size_t i = 0; i < kCap; ++i) {
        served.push_back(std::make_unique<Client>(service_->port(), ""));
        ASSERT_FALSE(served.back()->handshake) << i << ": " << served.back()->handshake.message();
    }
    EXPECT_EQ(service_->openConnections(), kCap);
    Client refused(service_->port(), "");
    EXPECT_TRUE(refused.handshake);
    EXPECT_EQ(served.front()->call("GetVersion", json::array())["result"], "4.2.3.0");

    served.front()->socket.close(websocket::close_code::normal);
    served.erase(served.begin());
    for (int i = 0; i < 200 && service_->openConnections() >= kCap; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Client admitted(service_->port(), "");
    ASSERT_FALSE(admitted.handshake) << admitted.handshake.message();
    EXPECT_EQ(admitted.call("GetVersion", json::array())["result"], "4.2.3.0");
}

// A WebSocket with no message for the idle timeout is closed while one that
// keeps calling stays; a connection that never finishes its request is
// closed after the request timeout.
TEST_F(BridgeServiceTest, IdleAndSilentConnectionsAreClosedAfterTheirTimeouts) {
    restart([](BridgeSettings& settings) {
        settings.idleTimeout = std::chrono::seconds(1);
        settings.requestTimeout = std::chrono::seconds(1);
    });
    Client idle(service_->port(), "");
    Client busy(service_->port(), "");
    ASSERT_FALSE(idle.handshake);
    ASSERT_FALSE(busy.handshake);
    net::io_context io;
    tcp::socket silent(io);
    silent.connect({net::ip::make_address("127.0.0.1"), service_->port()});

    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3500);
    while (std::chrono::steady_clock::now() < until) {
        ASSERT_EQ(busy.call("GetVersion", json::array())["result"], "4.2.3.0");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    // Checked before reading, which would wait for good on a connection left open.
    ASSERT_EQ(service_->openConnections(), 1u);
    EXPECT_FALSE(idle.answer());
    char byte = 0;
    beast::error_code error;
    silent.read_some(net::buffer(&byte, 1), error);
    EXPECT_EQ(error, net::error::eof);
}

// With a dialog host, an unknown origin's first connection asks the user
// once: yes puts it on the trusted list; no keeps it in protected mode and is
// not asked again while the service runs; an opaque origin is never asked.
TEST_F(BridgeServiceTest, AnUnknownOriginsFirstConnectionAsksTheUserOnce) {
    const std::string answers = home_.file(
        "answers.json", R"([{"dialog": "yesNo", "yes": true}, {"dialog": "yesNo", "yes": false}])");
    const std::string transcript = home_.sub("transcript.jsonl");
    auto made = std::make_shared<std::atomic<int>>(0);
    restart([&](BridgeSettings& settings) {
        // The question's host is the first made; the connections' Engines
        // stay headless, so the transcript holds the questions alone.
        settings.makeDialogs = [=]() -> std::unique_ptr<platform::PlatformDialogs> {
            if ((*made)++ != 0) return nullptr;
            ui::HostSetupProblem problem;
            return ui::makeDialogHost("scripted", answers, transcript, problem);
        };
    });
    struct Case {
        std::string_view origin;
        bool trusted;
    } cases[] = {
        {"https://new.example", true},       // asked: yes
        {"https://refused.example", false},  // asked: no
        {"https://refused.example", false},  // not asked again
        {"HTTPS://New.Example", true},       // on the list now
        {"null", false},                     // never asked
        {kTrustedSite, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.origin));
        Client client(service_->port(), c.origin);
        ASSERT_FALSE(client.handshake) << client.handshake.message();
        EXPECT_EQ(client.call("Hash", {"abc", 0})["errorCode"], c.trusted ? 0 : 1500);
    }

    std::istringstream lines(test::fileText(transcript));
    std::vector<json> asked;
    for (std::string line; std::getline(lines, line);) asked.push_back(json::parse(line));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0]["dialog"], "yesNo");
    EXPECT_EQ(asked[0]["caption"], "信任網站");
    EXPECT_EQ(asked[0]["text"], "是否允許網站 https://new.example 使用本機的憑證與簽章功能？");
    EXPECT_EQ(asked[0]["result"], "yes");
    EXPECT_EQ(asked[1]["text"], "是否允許網站 https://refused.example 使用本機的憑證與簽章功能？");
    EXPECT_EQ(asked[1]["result"], "no");

    auto platform = platform::makePlatform(platform::StateHome(home_.sub("home")));
    EXPECT_TRUE(TrustedOrigins(*platform->registry()).contains("https://new.example"));
    EXPECT_FALSE(TrustedOrigins(*platform->registry()).contains("https://refused.example"));
}

// GatedHost: a host whose yes-or-no questions wait for the test's answer and
// are counted; it shows nothing else.
class GatedHost final : public platform::PlatformDialogs {
public:
    GatedHost(std::shared_ptr<std::atomic<int>> asked, std::shared_future<bool> answer)
        : asked_(std::move(asked)), answer_(std::move(answer)) {}
    platform::Status askYesNo(std::string_view, std::string_view) override {
        ++*asked_;
        if (answer_.get()) return platform::Status::success();
        return platform::fail(platform::errors::kErrorCancelled);
    }
    platform::Outcome<platform::DialogEnd> runModal(platform::ModalDialog&) override {
        return platform::fail(platform::errors::kErrorNotSupported);
    }
    void showError(std::string_view, std::string_view) override {}
    platform::Outcome<std::string> chooseFile(const platform::FileChooserRequest&) override {
        return platform::fail(platform::errors::kErrorNotSupported);
    }
    platform::Outcome<std::string> chooseFolder(std::string_view) override {
        return platform::fail(platform::errors::kErrorNotSupported);
    }
    platform::Status viewCertificate(platform::ByteView, std::string_view) override {
        return platform::fail(platform::errors::kErrorNotSupported);
    }
    platform::Status confirmKeyUse(const platform::KeyUseRequest&) override {
        return platform::fail(platform::errors::kNteSilentContext);
    }

private:
    std::shared_ptr<std::atomic<int>> asked_;
    std::shared_future<bool> answer_;
};

// Connections of one origin opened together while its question is open wait
// for that one answer, and meanwhile every other connection is served.
TEST_F(BridgeServiceTest, AnOpenQuestionIsAskedOnceAndBlocksNobodyElse) {
    auto asked = std::make_shared<std::atomic<int>>(0);
    std::promise<bool> answer;
    std::shared_future<bool> answered = answer.get_future().share();
    restart([&](BridgeSettings& settings) {
        settings.makeDialogs = [=] { return std::make_unique<GatedHost>(asked, answered); };
    });
    constexpr std::size_t kPages = 3;
    std::array<std::atomic<int>, kPages> codes;
    for (std::atomic<int>& code : codes) code = -1;
    auto codesNow = [&] { return std::vector<int>(codes.begin(), codes.end()); };
    std::vector<std::thread> pages;
    for (std::size_t i = 0; i < kPages; ++i) {
        pages.emplace_back([&, i] {
            Client page(service_->port(), "https://new.example");
            if (!page.handshake) codes[i] = page.call("Hash", {"abc", 0})["errorCode"].get<int>();
        });
    }
    for (int i = 0; i < 500 && (*asked == 0 || service_->openConnections() < kPages); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    Client local(service_->port(), "");
    EXPECT_FALSE(local.handshake);
    EXPECT_EQ(local.call("GetVersion", json::array())["result"], "4.2.3.0");
    EXPECT_EQ(request(http::verb::get, loopbackHost(), "https://other.example").result(),
              http::status::ok);
    EXPECT_EQ(codesNow(), std::vector<int>(kPages, -1));

    answer.set_value(true);
    for (std::thread& page : pages) page.join();
    EXPECT_EQ(codesNow(), std::vector<int>(kPages, 0));
    EXPECT_EQ(*asked, 1);
}

// A connection of another user of the machine is closed before a byte of it
// is read, even with a good Host and a trusted Origin; the same request from
// this user is served.
TEST_F(BridgeServiceTest, AnotherUsersConnectionIsClosedUnread) {
    if (::geteuid() != 0) GTEST_SKIP() << "dropping to another user needs root";
    const std::string request = "GET / HTTP/1.1\r\nHost: " + loopbackHost() +
                                "\r\nOrigin: " + std::string(kTrustedSite) + "\r\n\r\n";
    auto answerAs = [&](bool asNobody) {
        pid_t child = ::fork();
        if (child == 0) {
            if (asNobody && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
            int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(service_->port());
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                ::_exit(4);
            }
            (void)!::write(fd, request.data(), request.size());
            char first[16];
            ssize_t got = ::read(fd, first, sizeof first);
            ::_exit(got > 0 && std::string_view(first, std::size_t(got)).starts_with("HTTP/1.1 200")
                        ? 0
                        : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(answerAs(false), 0);
    EXPECT_EQ(answerAs(true), 1);
}

// The signer port of a page's connection is its origin's: a signer saved for
// one site is restored for that site only, never for another site or for the
// session's own port.
TEST(BridgeSignerPort, ASiteRestoresOnlyItsOwnSigner) {
    TemporaryFolder home;
    auto platform = platform::makePlatform(platform::StateHome(home.sub("home")));
    auto restoredFor = [&](std::string_view scope) {
        SignerState state;
        state.portScope = std::string(scope);
        std::optional<signing::SignerPort> port = signing::openSignerPort(state, *platform);
        EXPECT_TRUE(port);
        std::optional<signing::SavedSigner> saved = signing::readSavedSigner(*port);
        return saved ? saved->hash : std::string();
    };
    {
        SignerState chosen;
        chosen.portScope = std::string(kTrustedSite);
        chosen.signerMedia = signerMedia::kPersonalStore;
        chosen.signerCertHash = std::string(40, 'A');
        chosen.signerCertBytes = {0x30, 0x03, 0x02, 0x01, 0x01};
        std::optional<signing::SignerPort> port = signing::openSignerPort(chosen, *platform);
        ASSERT_TRUE(port);
        signing::saveSigner(*port, chosen);
    }
    EXPECT_EQ(restoredFor(kTrustedSite), std::string(40, 'A'));
    EXPECT_EQ(restoredFor("https://evil.example"), "");
    EXPECT_EQ(restoredFor("https://bank.example.evil.example"), "");
    EXPECT_EQ(restoredFor(""), "");
    EXPECT_NE(signing::signerPortName("https://a.example"),
              signing::signerPortName("https://b.example"));
    EXPECT_EQ(signing::signerPortName(""), signing::kPortName);
}

}  // namespace
}  // namespace pennaform::bridge
