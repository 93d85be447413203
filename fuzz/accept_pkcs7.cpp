// Fuzz target: an authority's answer to AcceptPKCS7, through the PKCS#7
// message reader and the certificate path. The bytes go in as Base64, so
// every input reaches the reader; the answer must be one of the operation's
// codes, and a message the reader accepts must give certificates that the
// reader hands back whole.
//
// Seeds: windows.p7c and nss.p7c from tests/data (a DER and a BER bundle).
// The state lives under /dev/shm (or TMPDIR).
#include <cstdint>
#include <string>

#include "FuzzHome.h"
#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

using namespace pennaform;
using fuzz::FuzzHome;
using fuzz::require;

namespace {

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
