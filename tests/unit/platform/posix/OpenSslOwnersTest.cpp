// ErrorQueueScope: the reasons OpenSSL queues inside a scope are dropped when
// it ends, and those queued before it (the host's) are kept; the backend's
// failing calls leave the queue as they found it.
#include "platform/posix/OpenSslOwners.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/x509.h>

#include <vector>

#include "platform/posix/CertificateReader_openssl.h"
#include "platform/posix/OpenSslLibrary.h"
#include "platform/posix/RsaKeys_openssl.h"

namespace pennaform::platform {
namespace {

// failOneDecode: one OpenSSL call that queues its reasons.
void failOneDecode() {
    const unsigned char junk[] = {0x30, 0x03, 0x02, 0x01};
    const unsigned char* p = junk;
    X509* certificate = d2i_X509(nullptr, &p, long(sizeof junk));
    ASSERT_EQ(certificate, nullptr);
    ASSERT_NE(ERR_peek_error(), 0u);
}

// queued: the reasons on this thread's queue, oldest first; the queue is
// left empty.
std::vector<unsigned long> queued() {
    std::vector<unsigned long> codes;
    while (unsigned long code = ERR_get_error()) codes.push_back(code);
    return codes;
}

constexpr unsigned long kHostReason = ERR_PACK(ERR_LIB_USER, 0, 42);

TEST(ErrorQueueScope, DropsWhatWasQueuedInsideAndKeepsWhatCameBefore) {
    ERR_clear_error();
    {
        const openssl::ErrorQueueScope scope;
        failOneDecode();
    }
    EXPECT_TRUE(queued().empty()) << "from an empty queue";

    ERR_raise(ERR_LIB_USER, 42);
    {
        const openssl::ErrorQueueScope outer;
        failOneDecode();
        {
            const openssl::ErrorQueueScope inner;
            failOneDecode();
        }
        ERR_raise(ERR_LIB_USER, 7);
    }
    EXPECT_EQ(queued(), std::vector<unsigned long>{kHostReason});
}

TEST(ErrorQueueScope, FailingBackendCallsLeaveTheHostsQueueAsItWas) {
    Outcome<std::shared_ptr<OpenSslLibrary>> library = OpenSslLibrary::load();
    ASSERT_TRUE(library.ok());
    const std::vector<std::uint8_t> junk{0x30, 0x03, 0x02, 0x01, 0x01};
    const std::unique_ptr<CertificateReader> certificates = makeOpenSslCertificateReader(*library);

    ERR_clear_error();
    ERR_raise(ERR_LIB_USER, 42);
    EXPECT_EQ(certificates->parse(junk).error(), errors::kCryptEAsn1Corrupt);
    EXPECT_EQ(rsaKeys::fromPkcs8((*library)->context(), junk).error(), errors::kNteBadKey);
    EXPECT_EQ(queued(), std::vector<unsigned long>{kHostReason});
}

}  // namespace
}  // namespace pennaform::platform
