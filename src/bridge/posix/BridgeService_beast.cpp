// The bridge's sockets, HTTP and WebSocket through Boost.Beast on one
// io_context served by a few threads; each connection runs on a strand of its
// own, so its Engine sees one call at a time.
// Before Boost 1.74's asio, which uses std::exchange without including it.
#include <utility>

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "bridge/BridgeService.h"
#include "bridge/JsonCalls.h"
#include "bridge/TrustQuestions.h"
#include "bridge/TrustedOrigins.h"
#include "engine/Engine.h"
#include "platform/AsciiCase.h"
#include "platform/HeapRelease.h"
#include "platform/PeerCredentials.h"
#include "platform/PlatformError.h"
#include "platform/PlatformFactory.h"

namespace pennaform::bridge {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;

namespace {

// An upgrade or a detection request is a few headers and no body.
constexpr std::uint32_t kLargestRequestHeader = 16 * 1024;
constexpr std::uint64_t kLargestRequestBody = 0;

platform::TcpEndpoint toTcpEndpoint(const tcp::endpoint& end) {
    platform::TcpEndpoint out;
    out.port = end.port();
    if (end.address().is_v6()) {
        auto bytes = end.address().to_v6().to_bytes();
        std::copy(bytes.begin(), bytes.end(), out.address.begin());
        out.isV6 = true;
    } else {
        auto bytes = end.address().to_v4().to_bytes();
        std::copy(bytes.begin(), bytes.end(), out.address.begin());
    }
    return out;
}

std::string_view textOf(beast::string_view text) {
    return {text.data(), text.size()};
}

}  // namespace

struct BridgeService::State {
    explicit State(BridgeSettings given)
        : settings(std::move(given)),
          owner(platform::currentUserId()),
          trustPlatform(platform::makePlatform(platform::StateHome(settings.homeOverride))) {}

    // trusts: whether a request with this Origin header (empty: none) is
    // served by a normal Engine.
    bool trusts(std::string_view origin) {
        if (origin.empty()) return true;
        std::lock_guard<std::mutex> hold(trustMutex);
        platform::Registry* registry = trustPlatform->registry();
        return registry != nullptr && TrustedOrigins(*registry).contains(origin);
    }

    // trust: puts an origin the user accepted on the trusted list.
    bool trust(const std::string& origin) {
        std::lock_guard<std::mutex> hold(trustMutex);
        platform::Registry* registry = trustPlatform->registry();
        return registry != nullptr && TrustedOrigins(*registry).add(origin).ok();
    }

    // hostIsLoopback: whether a Host header names this service's own
    // address and port.
    bool hostIsLoopback(std::string_view host) const {
        const std::string suffix = ":" + std::to_string(port);
        for (std::string_view name : {"127.0.0.1", "[::1]", "localhost"}) {
            if (equalIgnoringAsciiCase(host, std::string(name) + suffix)) return true;
        }
        return false;
    }

    void accept(tcp::acceptor& acceptor);
    void admit(tcp::socket socket);
    void shutDown();

    BridgeSettings settings;
    std::uint32_t owner;
    std::uint16_t port = 0;
    std::atomic<std::size_t> connections{0};
    std::mutex trustMutex;
    std::unique_ptr<platform::Platform> trustPlatform;

    std::mutex stopMutex;
    std::condition_variable stoppedSignal;
    bool stopped = false;

    // Declared after what connections use: the io_context's destruction
    // ends the connections still held by its handlers.
    net::io_context io;
    std::vector<std::unique_ptr<tcp::acceptor>> acceptors;
    std::vector<std::thread> threads;
    // With a dialog host, an unknown origin's first connection asks the
    // user; the connections waiting for the answer are ended before the
    // io_context.
    std::unique_ptr<TrustQuestions> questions;
};

namespace {

using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

// Connection: one client, from its first HTTP request to the close of its
// WebSocket. Holds the Engine of the connection; the last handler that holds
// the connection ends it.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(BridgeService::State& service, tcp::socket socket)
        : service_(service), stream_(std::move(socket)) {
        ++service_.connections;
    }
    ~Connection() {
        // What the connections allocated goes back to the system once the
        // last has closed, not kept by the threads' arenas while idle.
        if (--service_.connections == 0) platform::releaseFreedHeap();
    }

    void start() {
        stream_.expires_after(service_.settings.requestTimeout);
        parser_.emplace();
        parser_->header_limit(kLargestRequestHeader);
        parser_->body_limit(kLargestRequestBody);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             if (!error) self->onRequest();
                         });
    }

private:
    void onRequest() {
        request_ = parser_->release();
        if (!service_.hostIsLoopback(textOf(request_[http::field::host]))) {
            return respond(http::status::forbidden,
                           "the Host header must name the loopback "
                           "address and port of the service\n");
        }
        const std::string origin(request_[http::field::origin]);
        const bool trusted = service_.trusts(origin);
        if (websocket::is_upgrade(request_)) {
            std::optional<std::string> unknown;
            if (!trusted && service_.questions) unknown = normalizedOrigin(origin);
            if (!unknown) return upgrade(origin, trusted);
            // Answered on the question's thread; the upgrade goes on on this
            // connection's strand.
            return service_.questions->ask(
                *unknown, [self = shared_from_this(), origin](bool nowTrusted) {
                    net::post(self->stream_.get_executor(),
                              [self, origin, nowTrusted] { self->upgrade(origin, nowTrusted); });
                });
        }
        if (request_.method() == http::verb::options) return answerPreflight(origin, trusted);
        if (request_.method() == http::verb::get && request_.target() == "/") {
            nlohmann::json about = {
                {"name", "Pennaform"}, {"version", PENNAFORM_VERSION}, {"trusted", trusted}};
            return respond(http::status::ok, about.dump(), "application/json", origin);
        }
        respond(http::status::not_found, "not found\n");
    }

    // A preflight of a trusted origin is allowed, private network access
    // included; any other gets the same answer without the allowances.
    void answerPreflight(const std::string& origin, bool trusted) {
        Response response(http::status::no_content, request_.version());
        if (trusted && !origin.empty()) {
            response.set(http::field::access_control_allow_origin, origin);
            response.set(http::field::access_control_allow_methods, "GET");
            auto asked = request_[http::field::access_control_request_headers];
            if (!asked.empty()) response.set(http::field::access_control_allow_headers, asked);
            response.set("Access-Control-Allow-Private-Network", "true");
        }
        response.set(http::field::vary, "Origin");
        send(std::move(response));
    }

    void respond(http::status status, std::string body, std::string_view contentType = "text/plain",
                 std::string_view origin = {}) {
        Response response(status, request_.version());
        response.set(http::field::content_type, std::string(contentType));
        if (!origin.empty()) {
            response.set(http::field::access_control_allow_origin, std::string(origin));
            response.set(http::field::vary, "Origin");
        }
        response.body() = std::move(body);
        send(std::move(response));
    }

    void send(Response response) {
        response.set(http::field::server, "Pennaform");
        response.keep_alive(false);
        response.prepare_payload();
        response_ = std::move(response);
        http::async_write(stream_, response_,
                          [self = shared_from_this()](beast::error_code, std::size_t) {
                              beast::error_code ignored;
                              self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
                          });
    }

    void upgrade(const std::string& origin, bool trusted) {
        EngineConfig config;
        config.homeOverride = service_.settings.homeOverride;
        config.untrustedCaller = !trusted;
        // A page's port is its origin's, written as browsers send it; a
        // local program without an Origin shares the session's.
        if (!origin.empty()) config.signerPortScope = normalizedOrigin(origin).value_or(origin);
        engine_ = std::make_unique<Engine>(std::move(config));
        if (service_.settings.makeDialogs) {
            if (auto host = service_.settings.makeDialogs()) {
                engine_->platform().installDialogs(std::move(host));
            }
        }
        stream_.expires_never();
        socket_.emplace(std::move(stream_));
        socket_->set_option(websocket::stream_base::timeout{service_.settings.requestTimeout,
                                                            service_.settings.idleTimeout, false});
        socket_->read_message_max(service_.settings.largestMessage);
        socket_->set_option(
            websocket::stream_base::decorator([](websocket::response_type& response) {
                response.set(http::field::server, "Pennaform");
            }));
        socket_->async_accept(request_, [self = shared_from_this()](beast::error_code error) {
            if (!error) self->readMessage();
        });
    }

    void readMessage() {
        message_.clear();
        socket_->async_read(message_,
                            [self = shared_from_this()](beast::error_code error, std::size_t) {
                                if (!error) self->onMessage();
                            });
    }

    void onMessage() {
        answer_ = answerJsonCall(*engine_, beast::buffers_to_string(message_.data()));
        socket_->text(true);
        socket_->async_write(net::buffer(answer_),
                             [self = shared_from_this()](beast::error_code error, std::size_t) {
                                 if (!error) self->readMessage();
                             });
    }

    BridgeService::State& service_;
    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    Request request_;
    Response response_;
    std::unique_ptr<Engine> engine_;
    std::optional<websocket::stream<beast::tcp_stream>> socket_;
    beast::flat_buffer message_;
    std::string answer_;
};

}  // namespace

void BridgeService::State::accept(tcp::acceptor& acceptor) {
    acceptor.async_accept(net::make_strand(io),
                          [this, &acceptor](beast::error_code error, tcp::socket socket) {
                              if (error == net::error::operation_aborted) return;
                              if (!error) admit(std::move(socket));
                              accept(acceptor);
                          });
}

// admit: a connection is served only while there is room for it, and only
// when its socket is the serving user's; nothing is read from it before.
void BridgeService::State::admit(tcp::socket socket) {
    beast::error_code error;
    tcp::endpoint local = socket.local_endpoint(error);
    tcp::endpoint remote = error ? tcp::endpoint() : socket.remote_endpoint(error);
    if (error || connections.load() >= settings.mostConnections) return;
    platform::Outcome<std::uint32_t> peer =
        platform::tcpPeerOwner(toTcpEndpoint(local), toTcpEndpoint(remote));
    if (!peer || *peer != owner) return;  // the socket closes as it goes
    std::make_shared<Connection>(*this, std::move(socket))->start();
}

// shutDown: held under stopMutex throughout, so that a second caller returns
// only once the threads are joined.
void BridgeService::State::shutDown() {
    std::lock_guard<std::mutex> hold(stopMutex);
    if (stopped) return;
    io.stop();
    for (std::thread& thread : threads) thread.join();
    if (questions) questions->stop();
    stopped = true;
    stoppedSignal.notify_all();
}

platform::Outcome<std::unique_ptr<BridgeService>> BridgeService::start(BridgeSettings settings) {
    auto state = std::make_unique<State>(std::move(settings));
    std::uint16_t port = state->settings.port;
    for (const char* address : {"127.0.0.1", "::1"}) {
        const bool isV6 = address[0] == ':';
        beast::error_code error;
        tcp::endpoint endpoint(net::ip::make_address(address, error), port);
        auto acceptor = std::make_unique<tcp::acceptor>(state->io);
        acceptor->open(endpoint.protocol(), error);
        if (!error && isV6) acceptor->set_option(net::ip::v6_only(true), error);
        if (!error) acceptor->set_option(net::socket_base::reuse_address(true), error);
        if (!error) acceptor->bind(endpoint, error);
        if (!error) acceptor->listen(net::socket_base::max_listen_connections, error);
        if (error) {
            // A system without IPv6 is served on IPv4 alone.
            if (isV6 && (error == net::error::address_family_not_supported ||
                         error == boost::system::errc::address_not_available)) {
                break;
            }
            return platform::fail(error == net::error::address_in_use
                                      ? platform::errors::kErrorAccessDenied
                                      : platform::errors::kErrorInvalidParameter);
        }
        port = acceptor->local_endpoint(error).port();
        state->acceptors.push_back(std::move(acceptor));
    }
    state->port = port;
    if (state->settings.makeDialogs) {
        State* service = state.get();
        state->questions = std::make_unique<TrustQuestions>(
            service->settings.makeDialogs,
            [service](const std::string& origin) { return service->trust(origin); });
    }
    for (auto& acceptor : state->acceptors) state->accept(*acceptor);
    unsigned threadCount = std::max(1u, state->settings.threads);
    for (unsigned i = 0; i < threadCount; ++i) {
        state->threads.emplace_back([io = &state->io] { io->run(); });
    }
    return std::unique_ptr<BridgeService>(new BridgeService(std::move(state)));
}

BridgeService::BridgeService(std::unique_ptr<State> state) : state_(std::move(state)) {}

BridgeService::~BridgeService() {
    stop();
}

std::uint16_t BridgeService::port() const {
    return state_->port;
}

std::size_t BridgeService::openConnections() const {
    return state_->connections.load();
}

void BridgeService::waitForSignal() {
    net::signal_set signals(state_->io, SIGINT, SIGTERM);
    signals.async_wait([state = state_.get()](beast::error_code error, int) {
        // Not on this io thread, which shutDown joins.
        if (!error) std::thread([state] { state->shutDown(); }).detach();
    });
    std::unique_lock<std::mutex> hold(state_->stopMutex);
    state_->stoppedSignal.wait(hold, [this] { return state_->stopped; });
}

void BridgeService::stop() {
    state_->shutDown();
}

}  // namespace pennaform::bridge
