// The conformance suites of the services a second backend must match byte
// for byte: the certificate reader, PKCS#12, the symmetric ciphers and the
// operating-system facts, written once. A backend runs them by instantiating
// each fixture below with a factory of its harness.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "platform/Platform.h"

namespace pennaform::platform::test {

// PlatformHarness: a platform over an empty per-user state private to the
// test, with every service of the suites.
class PlatformHarness {
public:
    virtual ~PlatformHarness() = default;
    virtual std::unique_ptr<Platform> open() = 0;
};

struct PlatformBackend {
    std::string name;
    std::function<std::unique_ptr<PlatformHarness>()> makeHarness;
    friend void PrintTo(const PlatformBackend& backend, std::ostream* out) { *out << backend.name; }
};

class PlatformConformance : public ::testing::TestWithParam<PlatformBackend> {
protected:
    void SetUp() override {
        harness_ = GetParam().makeHarness();
        platform_ = harness_->open();
        ASSERT_NE(platform_->certificateReader(), nullptr);
        ASSERT_NE(platform_->pkcs12(), nullptr);
        ASSERT_NE(platform_->symmetricKeys(), nullptr);
        ASSERT_NE(platform_->os(), nullptr);
    }

    std::unique_ptr<PlatformHarness> harness_;
    std::unique_ptr<Platform> platform_;
};

class CertificateReaderConformance : public PlatformConformance {
protected:
    const CertificateReader& reader() { return *platform_->certificateReader(); }
};

class Pkcs12Conformance : public PlatformConformance {
protected:
    Pkcs12& pkcs12() { return *platform_->pkcs12(); }
};

class SymmetricCipherConformance : public PlatformConformance {
protected:
    SymmetricKeys& ciphers() { return *platform_->symmetricKeys(); }
};

class OsFactsConformance : public PlatformConformance {
protected:
    const OsFacts& facts() { return *platform_->os(); }
};

}  // namespace pennaform::platform::test
