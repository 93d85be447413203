// Fuzz target: CertEncryptPkcs7's certificate text (any bytes, read as the
// process code page): armour handling, the 'M' check, Base64, the message or
// certificate reading and the recipients, then the envelope for them.
// Checks that only the documented codes come back, that a result exists
// exactly on success, and that it is the Base64 of a DER SEQUENCE.
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
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::u16string envelope = engine.CertEncryptPkcs7(u"fuzz", toWide(text), 0, 0x800);
    const std::int32_t code = engine.GetErrorCode();
    require(code == 0 || code == 5005 || code == 5040 || code == 9004);
    require((code == 0) == !envelope.empty());
    if (code == 0) {
        ByteBuffer der;
        require(der.base64Decode(toAnsi(envelope)) && der.data()[0] == 0x30);
    }
    return 0;
}
