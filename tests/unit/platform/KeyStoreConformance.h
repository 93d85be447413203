// The conformance suite of the certificate stores and the key containers:
// what every backend's CertificateStores and KeyProviders must do, written
// once. A backend runs it by instantiating KeyStoreConformance with a
// factory of its harness.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "platform/Platform.h"

namespace pennaform::platform::test {

// KeyStoreHarness: an empty per-user state private to the test.
class KeyStoreHarness {
public:
    virtual ~KeyStoreHarness() = default;
    // open: a Platform over the harness's state, with at least the key and
    // store services. Each call gives a new one over the same stored state,
    // as another process would see it.
    virtual std::unique_ptr<Platform> open() = 0;
};

struct KeyStoreBackend {
    std::string name;
    std::function<std::unique_ptr<KeyStoreHarness>()> makeHarness;
    friend void PrintTo(const KeyStoreBackend& backend, std::ostream* out) { *out << backend.name; }
};

class KeyStoreConformance : public ::testing::TestWithParam<KeyStoreBackend> {
protected:
    void SetUp() override {
        harness_ = GetParam().makeHarness();
        platform_ = harness_->open();
        ASSERT_NE(platform_->keys(), nullptr);
        ASSERT_NE(platform_->stores(), nullptr);
    }

    KeyProviders& keys() { return *platform_->keys(); }
    CertificateStores& stores() { return *platform_->stores(); }

    std::unique_ptr<KeyStoreHarness> harness_;
    std::unique_ptr<Platform> platform_;
};

}  // namespace pennaform::platform::test
