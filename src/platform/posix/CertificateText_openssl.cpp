// CertificateText on POSIX: OpenSSL prints the certificate.
#include "platform/CertificateText.h"

#include <openssl/bio.h>
#include <openssl/x509.h>

#include <climits>
#include <memory>

namespace pennaform::platform {
namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};

}  // namespace

std::optional<std::string> certificateText(ByteView der) {
    if (der.empty() || der.size() > std::size_t(LONG_MAX)) return std::nullopt;
    const unsigned char* cursor = der.data();
    std::unique_ptr<X509, X509Free> certificate(d2i_X509(nullptr, &cursor, long(der.size())));
    if (!certificate || cursor != der.data() + der.size()) return std::nullopt;
    std::unique_ptr<BIO, BioFree> out(BIO_new(BIO_s_mem()));
    if (!out) return std::nullopt;
    constexpr unsigned long kSkipped =
        X509_FLAG_NO_PUBKEY | X509_FLAG_NO_SIGDUMP | X509_FLAG_NO_AUX;
    if (X509_print_ex(out.get(), certificate.get(), XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB,
                      kSkipped) != 1) {
        return std::nullopt;
    }
    char* text = nullptr;
    long length = BIO_get_mem_data(out.get(), &text);
    return std::string(text, std::size_t(length));
}

}  // namespace pennaform::platform
