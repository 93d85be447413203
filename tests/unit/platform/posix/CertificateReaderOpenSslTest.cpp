// The POSIX certificate reader's own answers: parse errors and the RSA
// public key blob, checked against OpenSSL's reading of the key.
#include "platform/posix/CertificateReader_openssl.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include "support/TestCa.h"
#include "unit/certificates/CertificateTestSupport.h"

namespace pennaform::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

// modulusOf: the certificate's RSA modulus, big-endian, as OpenSSL reads it.
Bytes modulusOf(const Bytes& der) {
    const unsigned char* p = der.data();
    std::unique_ptr<X509, decltype(&X509_free)> certificate(d2i_X509(nullptr, &p, long(der.size())),
                                                            X509_free);
    BIGNUM* n = nullptr;
    if (!certificate || EVP_PKEY_get_bn_param(X509_get0_pubkey(certificate.get()),
                                              OSSL_PKEY_PARAM_RSA_N, &n) != 1) {
        return {};
    }
    Bytes modulus(std::size_t(BN_num_bytes(n)));
    BN_bn2bin(n, modulus.data());
    BN_free(n);
    return modulus;
}

// readerInLibrary: the reader as the platform factory makes it, in the
// backend's own library context.
std::unique_ptr<CertificateReader> readerInLibrary() {
    Outcome<std::shared_ptr<OpenSslLibrary>> library = OpenSslLibrary::load();
    return makeOpenSslCertificateReader(library ? *library : nullptr);
}

TEST(CertificateReaderOpenSsl, RsaPublicKeyBlob) {
    test::TestCa ca;
    const std::optional<Bytes> der = ca.certificate(
        "rsa", {"--subject", "/CN=rsa", "--key-bits", "1024", "--key-usage", "digitalSignature"});
    ASSERT_TRUE(der) << ca.lastError();
    const Outcome<Bytes> blob = readerInLibrary()->rsaPublicKeyBlob(*der);
    ASSERT_TRUE(blob.ok());
    // CALG_RSA_KEYX even for a signature-only key; 1024 bits; exponent 65537.
    const Bytes header{0x06, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x00, 0x52, 0x53,
                       0x41, 0x31, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00};
    ASSERT_EQ(blob->size(), header.size() + 128);
    EXPECT_EQ(Bytes(blob->begin(), blob->begin() + 20), header);
    Bytes modulus = modulusOf(*der);
    std::reverse(modulus.begin(), modulus.end());
    EXPECT_EQ(Bytes(blob->begin() + 20, blob->end()), modulus);
}

TEST(CertificateReaderOpenSsl, KeysThatAreNotRsaAreRefused) {
    test::TemporaryFolder folder;
    const std::string path = folder.sub("ec.der");
    ASSERT_EQ(
        test::runProcess({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                          "ec_paramgen_curve:P-256", "-nodes", "-keyout", folder.sub("ec.key"),
                          "-subj", "/CN=ec", "-days", "1", "-outform", "DER", "-out", path})
            .exitStatus,
        0);
    const Bytes der = test::readBinaryFile(path);
    const std::unique_ptr<CertificateReader> certificates = readerInLibrary();
    EXPECT_TRUE(certificates->parse(der).ok());
    EXPECT_EQ(certificates->rsaPublicKeyBlob(der).error(), errors::kCryptEAsn1BadTag);
}

TEST(CertificateReaderOpenSsl, ParseErrors) {
    const std::unique_ptr<CertificateReader> certificates = readerInLibrary();
    EXPECT_EQ(certificates->parse({}).error(), errors::kCryptEAsn1Eod);
    EXPECT_EQ(certificates->parse(Bytes{0x30}).error(), errors::kCryptEAsn1Eod);
    EXPECT_EQ(certificates->parse(Bytes{0x31, 0x00}).error(), errors::kCryptEAsn1BadTag);
    EXPECT_EQ(certificates->parse(Bytes{0x30, 0x03, 0x02, 0x01, 0x01}).error(),
              errors::kCryptEAsn1Corrupt);
    EXPECT_EQ(certificates->parse(Bytes{0x30, 0x80, 0x00, 0x00}).error(), errors::kCryptEAsn1Eod);
    EXPECT_EQ(certificates->rsaPublicKeyBlob(Bytes{0x04, 0x00}).error(), errors::kCryptEAsn1BadTag);
}

// Without the backend's library context (it could not be loaded) the
// reader works in OpenSSL's default one, with the same answers.
TEST(CertificateReaderOpenSsl, DefaultContextGivesTheSameAnswers) {
    test::TestCa ca;
    const std::optional<Bytes> der = ca.certificate("plain", {"--subject", "/CN=plain/O=Org"});
    ASSERT_TRUE(der) << ca.lastError();
    const Outcome<CertificateInfo> inLibrary = readerInLibrary()->parse(*der);
    const Outcome<CertificateInfo> inDefault = makeOpenSslCertificateReader(nullptr)->parse(*der);
    ASSERT_TRUE(inLibrary.ok() && inDefault.ok());
    EXPECT_EQ(inLibrary->subjectName, inDefault->subjectName);
    EXPECT_EQ(inLibrary->thumbprint, inDefault->thumbprint);
    EXPECT_EQ(inLibrary->thumbprint.size(), 20u);
    EXPECT_EQ(
        makeOpenSslCertificateReader(nullptr)->parse(Bytes{0x30, 0x03, 0x02, 0x01, 0x01}).error(),
        errors::kCryptEAsn1Corrupt);
}

// The reader keeps what it read in its library: read again, in another
// order and beyond what is kept, each certificate still gives its own
// fields, those a fresh reading gives.
TEST(CertificateReaderOpenSsl, RereadingGivesEachCertificateItsOwnFields) {
    test::TestCa ca;
    std::vector<Bytes> certificates;
    for (std::size_t i = 0; i <= RecentCertificates::kHeld; ++i) {
        const std::string name = "c" + std::to_string(i);
        std::optional<Bytes> der = ca.certificate(name, {"--subject", "/CN=" + name});
        ASSERT_TRUE(der) << ca.lastError();
        certificates.push_back(*der);
    }
    const std::unique_ptr<CertificateReader> keeping = readerInLibrary();
    const std::unique_ptr<CertificateReader> fresh = makeOpenSslCertificateReader(nullptr);
    for (bool backwards : {false, false, true}) {
        for (std::size_t i = 0; i < certificates.size(); ++i) {
            const Bytes& der = certificates[backwards ? certificates.size() - 1 - i : i];
            const Outcome<CertificateInfo> kept = keeping->parse(der);
            const Outcome<CertificateInfo> read = fresh->parse(der);
            ASSERT_TRUE(kept.ok() && read.ok());
            EXPECT_EQ(kept->subjectCommonName, read->subjectCommonName);
            EXPECT_EQ(kept->thumbprint, read->thumbprint);
            EXPECT_EQ(kept->serialNumber, read->serialNumber);
            EXPECT_EQ(kept->notAfter, read->notAfter);
            EXPECT_EQ(keeping->rsaPublicKeyBlob(der).value(), fresh->rsaPublicKeyBlob(der).value());
        }
    }
}

}  // namespace
}  // namespace pennaform::platform
