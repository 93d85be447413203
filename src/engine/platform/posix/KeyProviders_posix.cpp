#include "engine/platform/posix/KeyProviders_posix.h"

namespace pennaform::platform {
namespace {

// The installed providers, in the order the platform enumerates them
// (ascending by name, ignoring case).
std::vector<ProviderInfo> softwareProviders() {
    return {
        {"Microsoft Base Cryptographic Provider v1.0", providerTypes::kRsaFull},
        {"Microsoft Enhanced Cryptographic Provider v1.0", providerTypes::kRsaFull},
        {"Microsoft Enhanced RSA and AES Cryptographic Provider", providerTypes::kRsaAes},
        {"Microsoft Enhanced RSA and AES Cryptographic Provider (Prototype)",
         providerTypes::kRsaAes},
        {"Microsoft Strong Cryptographic Provider", providerTypes::kRsaFull},
    };
}

class SoftwareKeyProviders : public KeyProviders {
public:
    std::vector<ProviderInfo> providers() const override { return softwareProviders(); }
    Outcome<std::unique_ptr<KeyContainer>> openContainer(const ContainerRef&) override {
        return fail(errors::kErrorNotSupported);
    }
    Outcome<std::unique_ptr<KeyContainer>> createContainer(const ContainerRef&) override {
        return fail(errors::kErrorNotSupported);
    }
    Status deleteContainer(const ContainerRef&) override {
        return fail(errors::kErrorNotSupported);
    }
};

}  // namespace

std::unique_ptr<KeyProviders> makeSoftwareKeyProviders() {
    return std::make_unique<SoftwareKeyProviders>();
}

}  // namespace pennaform::platform
