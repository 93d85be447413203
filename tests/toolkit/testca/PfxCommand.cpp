#include "toolkit/testca/PfxCommand.h"

#include <openssl/provider.h>

#include "toolkit/testca/OpenSsl.h"
#include "toolkit/testca/Options.h"

namespace pennaform::testca {
namespace {

constexpr int kIterations = 2048;

// Encryption: the algorithms of one kind of PFX file.
struct Encryption {
    int keyAlgorithm;
    int certificateAlgorithm;
    const EVP_MD* (*macDigest)();
};

// encryptionOf: "modern" is what OpenSSL 3 writes by default (PBES2 with
// PBKDF2 and AES-256-CBC, SHA-256 MAC); "legacy" what Windows and older
// tools write (3DES for the key, RC2-40 for the certificates, SHA-1 MAC),
// which needs OpenSSL's legacy provider.
std::optional<Encryption> encryptionOf(const std::string& name) {
    if (name == "modern") return Encryption{NID_aes_256_cbc, NID_aes_256_cbc, EVP_sha256};
    if (name == "legacy") {
        static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        static OSSL_PROVIDER* standard = OSSL_PROVIDER_load(nullptr, "default");
        if (legacy == nullptr || standard == nullptr) {
            fail("OpenSSL's legacy provider is not available");
            return std::nullopt;
        }
        return Encryption{NID_pbe_WithSHA1And3_Key_TripleDES_CBC, NID_pbe_WithSHA1And40BitRC2_CBC,
                          EVP_sha1};
    }
    fail("--encryption is modern or legacy: " + name);
    return std::nullopt;
}

}  // namespace

int runPfxCommand(const std::vector<std::string>& args) {
    std::optional<Options> options = Options::parse(
        args, {"--out", "--cert", "--key", "--chain", "--password", "--name", "--encryption"},
        {"--no-password"});
    if (!options) return 2;
    if (!options->value("--out") || !options->value("--cert") ||
        options->has("--password") == options->has("--no-password")) {
        fail("pfx needs --out, --cert, and one of --password TEXT and --no-password");
        return 2;
    }
    std::optional<Encryption> encryption =
        encryptionOf(options->value("--encryption").value_or("modern"));
    if (!encryption) return 2;

    X509Ptr certificate = readCertificate(*options->value("--cert"));
    KeyPtr key;
    if (auto path = options->value("--key")) key = readPrivateKey(*path);
    CertStackPtr chain(sk_X509_new_null());
    if (!certificate || (options->has("--key") && !key) || !chain) return 1;
    for (const std::string& path : options->values("--chain")) {
        X509Ptr extra = readCertificate(path);
        if (!extra || sk_X509_push(chain.get(), extra.get()) <= 0) return 1;
        extra.release();  // the stack owns it now
    }

    // A NULL password feeds no bytes to the key derivation; "" feeds the
    // two-byte terminator of an empty BMPString (RFC 7292 §B.1).
    std::optional<std::string> password = options->value("--password");
    const char* pass = password ? password->c_str() : nullptr;
    std::optional<std::string> name = options->value("--name");
    // The MAC is left out here and added below with the digest the kind asks for.
    Pkcs12Ptr pfx(PKCS12_create(pass, name ? name->c_str() : nullptr, key.get(), certificate.get(),
                                chain.get(), encryption->keyAlgorithm,
                                encryption->certificateAlgorithm, kIterations, -1, 0));
    if (!pfx || PKCS12_set_mac(pfx.get(), pass, -1, nullptr, 0, kIterations,
                               encryption->macDigest()) != 1) {
        fail("cannot make the PFX file");
        return 1;
    }
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || i2d_PKCS12_bio(bio.get(), pfx.get()) != 1) {
        fail("cannot encode the PFX file");
        return 1;
    }
    return writeFile(*options->value("--out"), bioBytes(bio.get()), 0600) ? 0 : 1;
}

}  // namespace pennaform::testca
