// Fuzz target: an authority's answer to AcceptPKCS7, through the PKCS#7
// message reader and the certificate path. The bytes go in as Base64, so
// every input reaches the reader; the answer must be one of the operation's
// codes, and a message the reader accepts must give certificates that the
// reader hands back whole.
//
// Seeds: windows.p7c and nss.p7c from tests/data (a DER and a BER bundle).
// The state lives under /dev/shm (or TMPDIR).
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

using namespace pennaform;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

class FuzzHome {
public:
    FuzzHome() {
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string pattern = (base / "pennaform-fuzz-XXXXXX").string();
        require(mkdtemp(pattern.data()) != nullptr);
        folder_ = pattern;
        engine_ = std::make_unique<Engine>(EngineConfig{folder_ + "/home"});
    }
    ~FuzzHome() {
        engine_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    Engine& engine() { return *engine_; }

private:
    std::string folder_;
    std::unique_ptr<Engine> engine_;
};

bool isAcceptCode(std::int32_t code) {
    switch (code) {
        case codes::kSuccess:
        case codes::kBadArgument:
        case codes::kBadBase64:
        case codes::kBadCertificate:
        case codes::kNoKey:
        case codes::kCertificateNotFound:
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzHome home;
    Engine& engine = home.engine();
    const platform::ByteView bytes(data, size);
    auto carried = engine.platform().messages()->messageCertificates(bytes);
    if (carried) {
        for (const platform::Bytes& certificate : *carried) require(!certificate.empty());
    }
    ByteBuffer text;
    if (size == 0 || !text.base64Encode(data, std::int32_t(size))) return 0;
    require(isAcceptCode(engine.AcceptPKCS7(utf8ToUtf16(text.text()))));
    return 0;
}
