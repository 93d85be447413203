// PKCS#7 messages: reading is CryptMessageReader_openssl's, enveloping
// CryptEnvelopes_openssl's.
#include "platform/posix/CryptMessages_openssl.h"

#include "platform/posix/CryptEnvelopes_openssl.h"
#include "platform/posix/CryptMessageReader_openssl.h"

namespace pennaform::platform {
namespace {

class OpenSslCryptMessages : public CryptMessages {
public:
    explicit OpenSslCryptMessages(std::shared_ptr<OpenSslLibrary> library)
        : library_(std::move(library)) {}

    Outcome<std::vector<Bytes>> messageCertificates(ByteView message) const override {
        return readMessageCertificates(message);
    }
    Outcome<Bytes> messageContent(ByteView message) const override {
        return readMessageContent(message);
    }
    Outcome<Bytes> encryptMessage(const std::vector<Bytes>& recipients,
                                  std::string_view contentAlgorithm, ByteView plaintext) override {
        return envelopes::encryptEnvelope(library_->context(), recipients, contentAlgorithm,
                                          plaintext);
    }
    Outcome<Bytes> decryptMessage(ByteView message, CertificateStore& keyStore) override {
        return envelopes::decryptEnvelope(library_->context(), message, keyStore);
    }

private:
    std::shared_ptr<OpenSslLibrary> library_;
};

}  // namespace

std::unique_ptr<CryptMessages> makeOpenSslCryptMessages(std::shared_ptr<OpenSslLibrary> library) {
    return std::make_unique<OpenSslCryptMessages>(std::move(library));
}

}  // namespace pennaform::platform
