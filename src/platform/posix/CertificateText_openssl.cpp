// CertificateText on POSIX: OpenSSL prints the certificate.
#include "platform/CertificateText.h"

#include <openssl/bio.h>
#include <openssl/x509.h>

#include <climits>
#include <memory>

#include "platform/posix/OpenSslOwners.h"

namespace pennaform::platform {

std::optional<std::string> certificateText(ByteView der) {
    if (der.empty() || der.size() > std::size_t(LONG_MAX)) return std::nullopt;
    const unsigned char* cursor = der.data();
    openssl::X509Cert certificate(d2i_X509(nullptr, &cursor, long(der.size())));
    if (!certificate || cursor != der.data() + der.size()) return std::nullopt;
    openssl::Bio out(BIO_new(BIO_s_mem()));
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
