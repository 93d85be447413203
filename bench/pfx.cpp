// ExportPfxFromIE of one certificate and its 2048-bit RSA key against
// OpenSSL's PKCS12_create + i2d_PKCS12 with the same scheme (PBES2,
// PBKDF2-HMAC-SHA256, AES-256-CBC, SHA-256 MAC) and iteration count, in one
// run. The state home and the exported file are on /dev/shm when it exists,
// so that the disk's flushes do not stand in for the work compared.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/Engine.h"
#include "platform/posix/Pkcs12Writer_openssl.h"

namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509, X509_free>>;
using Pfx = std::unique_ptr<PKCS12, Freer<PKCS12, PKCS12_free>>;

constexpr int kIterations = pennaform::platform::kPfxWriteIterations;
const char* const kPassword = "bench-secret";

void addEntry(X509_NAME* name, const char* field, const char* value) {
    X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(value), -1, -1, 0);
}

// Identity: a 2048-bit key and an end-entity certificate for it, named as
// issued by a bench authority so that the searches offer it.
struct Identity {
    Key key{EVP_RSA_gen(2048)};
    Certificate certificate{X509_new()};
    Identity() {
        X509* c = certificate.get();
        X509_set_version(c, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(c), 7);
        addEntry(X509_get_subject_name(c), "CN", "Bench Holder");
        addEntry(X509_get_issuer_name(c), "CN", "Bench CA");
        X509_gmtime_adj(X509_getm_notBefore(c), -86400);
        X509_gmtime_adj(X509_getm_notAfter(c), 86400L * 365);
        X509_set_pubkey(c, key.get());
        X509_sign(c, key.get(), EVP_sha256());
    }
};

// openSslPfx: PKCS12_create + i2d_PKCS12 in the modern scheme.
std::size_t openSslPfx(const Identity& identity) {
    Pfx pfx(PKCS12_create(kPassword, nullptr, identity.key.get(), identity.certificate.get(),
                          nullptr, NID_aes_256_cbc, NID_aes_256_cbc, kIterations, -1, 0));
    PKCS12_set_mac(pfx.get(), kPassword, -1, nullptr, 0, kIterations, EVP_sha256());
    unsigned char* der = nullptr;
    int length = i2d_PKCS12(pfx.get(), &der);
    OPENSSL_free(der);
    return std::size_t(length);
}

std::string scratchFolder() {
    std::string base = std::filesystem::exists("/dev/shm")
                           ? "/dev/shm"
                           : std::filesystem::temp_directory_path().string();
    std::string pattern = base + "/pennaform-bench-pfx-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : base;
}

// Bench: a home whose "MY" holds the identity with an exportable key.
struct Bench {
    Identity identity;
    std::string folder = scratchFolder();
    pennaform::Engine engine{pennaform::EngineConfig{folder + "/home", false}};
    bool ready = false;
    Bench() {
        std::string file = folder + "/in.pfx";
        Pfx pfx(PKCS12_create(kPassword, nullptr, identity.key.get(), identity.certificate.get(),
                              nullptr, NID_aes_256_cbc, NID_aes_256_cbc, kIterations, -1, 0));
        PKCS12_set_mac(pfx.get(), kPassword, -1, nullptr, 0, kIterations, EVP_sha256());
        unsigned char* der = nullptr;
        int length = i2d_PKCS12(pfx.get(), &der);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<char*>(der), length);
        OPENSSL_free(der);
        std::u16string wideFolder(folder.begin(), folder.end());
        ready = engine.ImportPfxToIE(wideFolder, u"in.pfx", u"bench-secret", 1, 0) == 0;
    }
    ~Bench() { std::filesystem::remove_all(folder); }
};

Bench& bench() {
    static Bench shared;
    return shared;
}

const char* const kScheme =
    "PBES2 PBKDF2-HMAC-SHA256 AES-256-CBC, SHA-256 MAC, 2048 iterations each";

void BM_ExportPfxFromIE(benchmark::State& state) {
    Bench& b = bench();
    if (!b.ready) return state.SkipWithError("the identity could not be imported");
    std::u16string out(b.folder.begin(), b.folder.end());
    out += u"/out";
    for (auto _ : state) {
        if (b.engine.ExportPfxFromIE(u"", out, u"bench-secret", 0, 0) != 0) {
            return state.SkipWithError("ExportPfxFromIE failed");
        }
    }
    state.SetLabel(kScheme);
}
BENCHMARK(BM_ExportPfxFromIE)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The first export of a new Engine, as a one-shot command makes it: its
// backend has read no certificate yet, so the search decodes this one.
void BM_ExportPfxFromIE_NewEngine(benchmark::State& state) {
    Bench& b = bench();
    if (!b.ready) return state.SkipWithError("the identity could not be imported");
    std::u16string out(b.folder.begin(), b.folder.end());
    out += u"/out";
    for (auto _ : state) {
        state.PauseTiming();
        auto engine =
            std::make_unique<pennaform::Engine>(pennaform::EngineConfig{b.folder + "/home", false});
        state.ResumeTiming();
        if (engine->ExportPfxFromIE(u"", out, u"bench-secret", 0, 0) != 0) {
            return state.SkipWithError("ExportPfxFromIE failed");
        }
        state.PauseTiming();
        engine.reset();
        state.ResumeTiming();
    }
    state.SetLabel(kScheme);
}
BENCHMARK(BM_ExportPfxFromIE_NewEngine)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_OpenSslPkcs12Create(benchmark::State& state) {
    Bench& b = bench();
    for (auto _ : state) benchmark::DoNotOptimize(openSslPfx(b.identity));
    state.SetLabel(kScheme);
}
BENCHMARK(BM_OpenSslPkcs12Create)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
