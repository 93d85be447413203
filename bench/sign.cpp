// Signing beside OpenSSL's own: SignPkcs1 against a bare EVP_PKEY_sign of
// the same SHA-256 digest with the same RSA-2048 key, and SignPkcs7 of 1 KiB
// against CMS_sign of the same bytes with the same key, certificate and
// digest (without and with signed attributes); SignPkcs1 also with 1,000
// certificates in "MY" beside the signer.
#include <benchmark/benchmark.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "platform/HexText.h"
#include "platform/Utf16Le.h"
#include "toolkit/testca/InstallCommand.h"

namespace {

using pennaform::platform::Bytes;

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using Cms = std::unique_ptr<CMS_ContentInfo, Freer<CMS_ContentInfo, CMS_ContentInfo_free>>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, Freer<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;

Bytes derOf(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    Bytes bytes(der, der + (length > 0 ? length : 0));
    OPENSSL_free(der);
    return bytes;
}

Certificate selfSigned(EVP_PKEY* key, const std::string& commonName, long serial) {
    Certificate certificate(X509_new());
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(certificate.get(), name);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -86400);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 86400L * 365);
    X509_set_pubkey(certificate.get(), key);
    X509_sign(certificate.get(), key, EVP_sha256());
    return certificate;
}

// SignerHome: a state home whose "MY" holds the signer, with its key, and
// `fillers` other certificates; removed with its folder at exit.
class SignerHome {
public:
    SignerHome(EVP_PKEY* key, X509* signer, int fillers) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pennaform-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        folder_ = pattern;
        const std::string certificatePath = (folder_ / "signer.der").string();
        const std::string keyPath = (folder_ / "signer.key.pem").string();
        const Bytes der = derOf(signer);
        std::ofstream(certificatePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(der.data()), std::streamsize(der.size()));
        Bio out(BIO_new_file(keyPath.c_str(), "w"));
        PEM_write_bio_PrivateKey(out.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
        out.reset();
        {
            pennaform::Engine engine(config());
            auto store =
                engine.platform().stores()->openSystemStore(pennaform::platform::SystemStore::kMy);
            Key fillerKey(EVP_RSA_gen(1024));
            for (int number = 0; store && number < fillers; ++number) {
                Certificate filler =
                    selfSigned(fillerKey.get(), "Filler " + std::to_string(number), number + 100);
                if (!(*store)->add(derOf(filler.get()), {},
                                   pennaform::platform::AddDisposition::kAlways)) {
                    return;
                }
            }
        }
        if (pennaform::testca::runInstallCommand({"--home", config().homeOverride.value(),
                                                  "--store", "MY", "--cert", certificatePath,
                                                  "--key", keyPath}) != 0) {
            return;
        }
        signerDer_ = der;
        ready_ = true;
    }
    SignerHome(const SignerHome&) = delete;
    SignerHome& operator=(const SignerHome&) = delete;
    ~SignerHome() {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    pennaform::EngineConfig config() const { return {(folder_ / "home").string(), false}; }
    bool ready() const { return ready_; }

    // select: the signer as a selection leaves it.
    void select(pennaform::Engine& engine) const {
        pennaform::SignerState& signer = engine.signer();
        signer.clearCurrentSigner();
        signer.signerMedia = pennaform::signerMedia::kPersonalStore;
        signer.signerCertBytes = signerDer_;
        unsigned char sha1[20];
        unsigned int len = 0;
        EVP_Digest(signerDer_.data(), signerDer_.size(), sha1, &len, EVP_sha1(), nullptr);
        signer.signerCertHash = pennaform::upperHex(std::span<const std::uint8_t>(sha1, len));
    }

private:
    std::filesystem::path folder_;
    Bytes signerDer_;
    bool ready_ = false;
};

struct Fixture {
    Key key{EVP_RSA_gen(2048)};
    Certificate certificate{selfSigned(key.get(), "Bench Signer", 1)};
    SignerHome one{key.get(), certificate.get(), 0};
    SignerHome thousand{key.get(), certificate.get(), 999};
    std::u16string text = std::u16string(512, u'簽');  // 1 KiB of UTF-16LE
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void signPkcs1(benchmark::State& state, const SignerHome& home) {
    if (!home.ready()) {
        state.SkipWithError("the signer could not be installed");
        return;
    }
    pennaform::Engine engine(home.config());
    home.select(engine);
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine.SignPkcs1(fixture().text, 0));
    }
    if (engine.GetErrorCode() != 0) state.SkipWithError("SignPkcs1 failed");
}

void SignPkcs1_OneInMy(benchmark::State& state) {
    signPkcs1(state, fixture().one);
}
void SignPkcs1_ThousandInMy(benchmark::State& state) {
    signPkcs1(state, fixture().thousand);
}

// EvpPkeySign: what SignPkcs1 does at its core: the SHA-256 digest of the
// same bytes signed with the same key, PKCS#1 v1.5.
void EvpPkeySign(benchmark::State& state) {
    const Bytes content = pennaform::utf16LeBytes(fixture().text);
    for (auto _ : state) {
        unsigned char digest[32];
        unsigned int digestLen = 0;
        EVP_Digest(content.data(), content.size(), digest, &digestLen, EVP_sha256(), nullptr);
        KeyContext context(EVP_PKEY_CTX_new(fixture().key.get(), nullptr));
        EVP_PKEY_sign_init(context.get());
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING);
        EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256());
        unsigned char signature[256];
        std::size_t signatureLen = sizeof signature;
        EVP_PKEY_sign(context.get(), signature, &signatureLen, digest, digestLen);
        benchmark::DoNotOptimize(signature);
    }
}

void SignPkcs7(benchmark::State& state, std::int32_t flags) {
    const SignerHome& home = fixture().one;
    if (!home.ready()) {
        state.SkipWithError("the signer could not be installed");
        return;
    }
    pennaform::Engine engine(home.config());
    home.select(engine);
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine.SignPkcs7(fixture().text, flags));
    }
    if (engine.GetErrorCode() != 0) state.SkipWithError("SignPkcs7 failed");
}
void SignPkcs7_1KiB(benchmark::State& state) {
    SignPkcs7(state, 0);
}
void SignPkcs7_1KiB_Attributes(benchmark::State& state) {
    SignPkcs7(state, 0x2000);
}

// CmsSign: OpenSSL's SignedData of the same bytes, DER-encoded.
void CmsSign(benchmark::State& state, unsigned int flags) {
    const Bytes content = pennaform::utf16LeBytes(fixture().text);
    for (auto _ : state) {
        Bio in(BIO_new_mem_buf(content.data(), int(content.size())));
        Cms cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags | CMS_PARTIAL | CMS_BINARY));
        CMS_add1_signer(cms.get(), fixture().certificate.get(), fixture().key.get(), EVP_sha256(),
                        flags);
        CMS_final(cms.get(), in.get(), nullptr, flags | CMS_BINARY);
        unsigned char* der = nullptr;
        const int len = i2d_CMS_ContentInfo(cms.get(), &der);
        benchmark::DoNotOptimize(len);
        OPENSSL_free(der);
    }
}
void CmsSign_1KiB(benchmark::State& state) {
    CmsSign(state, CMS_NOATTR);
}
void CmsSign_1KiB_Attributes(benchmark::State& state) {
    CmsSign(state, CMS_NOSMIMECAP);
}

}  // namespace

BENCHMARK(SignPkcs1_OneInMy)->Unit(benchmark::kMicrosecond);
BENCHMARK(SignPkcs1_ThousandInMy)->Unit(benchmark::kMicrosecond);
BENCHMARK(EvpPkeySign)->Unit(benchmark::kMicrosecond);
BENCHMARK(SignPkcs7_1KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(CmsSign_1KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(SignPkcs7_1KiB_Attributes)->Unit(benchmark::kMicrosecond);
BENCHMARK(CmsSign_1KiB_Attributes)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
