// PKCS#7 messages are not offered yet: every call answers ERROR_NOT_SUPPORTED.
#include "platform/posix/CryptMessages_openssl.h"

namespace pennaform::platform {
namespace {

class OpenSslCryptMessages : public CryptMessages {
  public:
    Outcome<std::vector<Bytes>> messageCertificates(ByteView) const override {
        return fail(errors::kErrorNotSupported);
    }
    Outcome<Bytes> messageContent(ByteView) const override {
        return fail(errors::kErrorNotSupported);
    }
    Outcome<Bytes> encryptMessage(const std::vector<Bytes>&, std::string_view, ByteView) override {
        return fail(errors::kErrorNotSupported);
    }
    Outcome<Bytes> decryptMessage(ByteView, const CertificateStore&) override {
        return fail(errors::kErrorNotSupported);
    }
};

}  // namespace

std::unique_ptr<CryptMessages> makeOpenSslCryptMessages() {
    return std::make_unique<OpenSslCryptMessages>();
}

}  // namespace pennaform::platform
