// The conformance suites of the certificate reader, PKCS#12, the symmetric
// ciphers and the operating-system facts, run on the POSIX backend.
#include "platform/PlatformFactory.h"
#include "support/TemporaryFolder.h"
#include "unit/platform/PlatformConformance.h"

namespace pennaform::platform::test {
namespace {

class PosixPlatformHarness : public PlatformHarness {
public:
    PosixPlatformHarness() : home_(folder_.sub("home")) {}
    std::unique_ptr<Platform> open() override { return makePlatform(home_); }

private:
    pennaform::test::TemporaryFolder folder_;
    StateHome home_;
};

const auto kPosix = ::testing::Values(PlatformBackend{
    "posix", [] { return std::unique_ptr<PlatformHarness>(new PosixPlatformHarness); }});
const auto kBackendName = [](const auto& info) { return info.param.name; };

INSTANTIATE_TEST_SUITE_P(Posix, CertificateReaderConformance, kPosix, kBackendName);
INSTANTIATE_TEST_SUITE_P(Posix, Pkcs12Conformance, kPosix, kBackendName);
INSTANTIATE_TEST_SUITE_P(Posix, SymmetricCipherConformance, kPosix, kBackendName);
INSTANTIATE_TEST_SUITE_P(Posix, OsFactsConformance, kPosix, kBackendName);

}  // namespace
}  // namespace pennaform::platform::test
