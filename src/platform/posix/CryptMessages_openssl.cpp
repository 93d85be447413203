// PKCS#7 messages: reading (CryptMessageReader_openssl.cpp); enveloping is
// not offered yet and answers ERROR_NOT_SUPPORTED.
#include "platform/posix/CryptMessages_openssl.h"

#include "platform/posix/CryptMessageReader_openssl.h"

namespace pennaform::platform {
namespace {

class OpenSslCryptMessages : public CryptMessages {
  public:
    Outcome<std::vector<Bytes>> messageCertificates(ByteView message) const override {
        return readMessageCertificates(message);
    }
    Outcome<Bytes> messageContent(ByteView message) const override {
        return readMessageContent(message);
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
