#include "toolkit/testca/BundleCommand.h"

#include <openssl/pem.h>

#include "toolkit/testca/OpenSsl.h"
#include "toolkit/testca/Options.h"

namespace pennaform::testca {

int runBundleCommand(const std::vector<std::string>& args) {
    std::optional<Options> options = Options::parse(args, {"--out"}, {"--pem"}, true);
    if (!options) return 2;
    if (!options->value("--out") || options->positional().empty()) {
        fail("bundle needs --out FILE and at least one certificate file");
        return 2;
    }
    Pkcs7Ptr bundle(PKCS7_new());
    if (!bundle || PKCS7_set_type(bundle.get(), NID_pkcs7_signed) != 1 ||
        PKCS7_content_new(bundle.get(), NID_pkcs7_data) != 1) {
        fail("cannot make a PKCS#7 bundle");
        return 1;
    }
    for (const std::string& path : options->positional()) {
        X509Ptr certificate = readCertificate(path);
        if (!certificate || PKCS7_add_certificate(bundle.get(), certificate.get()) != 1) return 1;
    }
    BioPtr bio(BIO_new(BIO_s_mem()));
    const bool encoded =
        bio && (options->has("--pem") ? PEM_write_bio_PKCS7(bio.get(), bundle.get())
                                      : i2d_PKCS7_bio(bio.get(), bundle.get())) == 1;
    if (!encoded) {
        fail("cannot encode the bundle");
        return 1;
    }
    return writeFile(*options->value("--out"), bioBytes(bio.get())) ? 0 : 1;
}

}  // namespace pennaform::testca
