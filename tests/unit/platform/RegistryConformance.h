// The registry conformance suite: what every backend's Registry must do,
// written once. A backend runs it by instantiating RegistryConformance with a
// factory of its harness.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "platform/Registry.h"

namespace pennaform::platform::test {

// RegistryHarness: one empty per-user hive and a machine hive that does not
// exist, both private to the test.
class RegistryHarness {
public:
    virtual ~RegistryHarness() = default;
    // open: a Registry over the harness's hives. Each call gives a new one
    // over the same stored state, as another process would see it.
    virtual std::unique_ptr<Registry> open() = 0;
};

struct RegistryBackend {
    std::string name;
    std::function<std::unique_ptr<RegistryHarness>()> makeHarness;
    friend void PrintTo(const RegistryBackend& backend, std::ostream* out) { *out << backend.name; }
};

class RegistryConformance : public ::testing::TestWithParam<RegistryBackend> {
protected:
    void SetUp() override {
        harness_ = GetParam().makeHarness();
        registry_ = harness_->open();
    }

    std::unique_ptr<RegistryHarness> harness_;
    std::unique_ptr<Registry> registry_;
};

}  // namespace pennaform::platform::test
