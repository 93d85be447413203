// Fuzz target: CertDecryptPkcs7's message input (the bytes are Base64
// encoded first, so the fuzzer works on the DER or BER itself): OpenSSL's
// BER reading, the envelope parser and the recipient search. With an empty
// "MY" and no dialog host nothing can ever decrypt: checks that the answer
// is always one of the documented failures, never text.
#include <cstdint>
#include <string>

#include "FuzzHome.h"
#include "encoding/ByteBuffer.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

using namespace pennaform;
using fuzz::FuzzHome;
using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzHome home;
    Engine& engine = home.engine();
    ByteBuffer text;
    if (size == 0 || size > 1 << 20 || !text.base64Encode(data, std::int32_t(size))) return 0;
    const std::u16string content = engine.CertDecryptPkcs7(toWide(text.text()), 0);
    const std::int32_t code = engine.GetErrorCode();
    require(content.empty());
    // 5002: an envelope for nobody here reaches the PFX fallback, and the
    // headless host can show no dialog.
    require(code == 5002 || code == 5005 || code == 5017 || code == 5042 || code == 9005 ||
            code == 9006);
    return 0;
}
