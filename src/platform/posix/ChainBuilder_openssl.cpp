// Chains are not built yet: every call answers ERROR_NOT_SUPPORTED.
#include "platform/posix/ChainBuilder_openssl.h"

namespace pennaform::platform {
namespace {

class OpenSslChainBuilder : public ChainBuilder {
  public:
    Outcome<CertificateChain> buildChain(ByteView, const CertificateStore*,
                                         std::optional<FileTime>) override {
        return fail(errors::kErrorNotSupported);
    }
};

}  // namespace

std::unique_ptr<ChainBuilder> makeOpenSslChainBuilder() {
    return std::make_unique<OpenSslChainBuilder>();
}

}  // namespace pennaform::platform
