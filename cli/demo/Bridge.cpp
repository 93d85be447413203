// The demo's bridge: the loopback service started on a free port, a local
// program (no Origin: trusted) connects over WebSocket and Wang signs through
// it; a page of an unknown origin is served in protected mode.
#include <utility>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "bridge/BridgeService.h"
#include "cli/demo/DemoAreas.h"

namespace pennaform::cli {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using nlohmann::json;

constexpr std::int32_t kStoreOnly = 0x100;

// BridgeClient: one WebSocket connection to the service, as `origin` (empty:
// a local program).
class BridgeClient {
public:
    BridgeClient(std::uint16_t port, std::string origin) {
        beast::error_code error;
        socket_.next_layer().connect({net::ip::make_address("127.0.0.1"), port}, error);
        socket_.set_option(websocket::stream_base::decorator(
            [origin = std::move(origin)](websocket::request_type& request) {
                if (!origin.empty()) request.set(beast::http::field::origin, origin);
            }));
        if (!error) socket_.handshake("127.0.0.1:" + std::to_string(port), "/", error);
        connected_ = !error;
    }
    bool connected() const { return connected_; }

    // call: the answer to one call; null when the connection failed.
    json call(std::string_view method, json args) {
        if (!connected_) return nullptr;
        const std::string request =
            json{{"id", ++id_}, {"method", method}, {"args", std::move(args)}}.dump();
        beast::error_code error;
        socket_.write(net::buffer(request), error);
        beast::flat_buffer answer;
        if (!error) socket_.read(answer, error);
        if (error) return nullptr;
        return json::parse(beast::buffers_to_string(answer.data()), nullptr, false);
    }

private:
    net::io_context io_;
    websocket::stream<net::ip::tcp::socket> socket_{io_};
    bool connected_ = false;
    int id_ = 0;
};

}  // namespace

void demoBridge(DemoContext& demo) {
    DemoRun& run = demo.run;
    bridge::BridgeSettings settings;
    settings.port = 0;
    settings.homeOverride = demo.home;
    auto service = bridge::BridgeService::start(std::move(settings));
    run.check("the bridge listens on a free loopback port", service.ok());
    if (!service) return;
    const std::uint16_t port = (*service)->port();

    BridgeClient local(port, "");
    run.check("a local program connects to ws://127.0.0.1:" + std::to_string(port) + "/",
              local.connected());
    json chosen = local.call("SelectSigner",
                             {"S_C=TW,S_O=Example Bank,S_OU=Retail,S_CN=Wang", kStoreOnly, 0});
    run.check("through the bridge, Wang is chosen from the personal store",
              chosen.is_object() && chosen["result"] == 0);
    json signedText = local.call("SignPkcs7", {"Pennaform demo: signed through the bridge", 0});
    run.check("through the bridge, Wang signs as PKCS#7 (errorCode 0, a Base64 SignedData)",
              signedText.is_object() && signedText["errorCode"] == 0 &&
                  signedText["result"].is_string() &&
                  signedText["result"].get<std::string>().starts_with("MI"));

    BridgeClient page(port, "https://unknown.example");
    json refused = page.call("SignPkcs7", {"text", 0});
    run.check("a page of an origin not trusted gets protected mode: SignPkcs7 answers 1500",
              refused.is_object() && refused["errorCode"] == 1500);
}

}  // namespace pennaform::cli
