// The personal store at scale: GetIECertCount and a FindMatches over the
// whole of "MY" with 1,000 and with 10,000 certificates, in one run, and the
// ratio between the two sizes (linear scaling gives about 10x).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "certificates/CertificateSearch.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

namespace {

using pennaform::platform::Bytes;

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509, X509_free>>;

void addEntry(X509_NAME* name, const char* field, const std::string& value) {
    X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0);
}

// holderCertificate: an end-entity certificate for "Holder <number>" issued
// by a fixed bench authority, signed with `key`.
Bytes holderCertificate(EVP_PKEY* key, int number) {
    Certificate certificate(X509_new());
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), number + 1);
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    addEntry(subject, "C", "TW");
    addEntry(subject, "O", "Example Bank");
    addEntry(subject, "CN", "Holder " + std::to_string(number));
    X509_NAME* issuer = X509_get_issuer_name(certificate.get());
    addEntry(issuer, "C", "TW");
    addEntry(issuer, "O", "Bench Root");
    addEntry(issuer, "CN", "Bench CA");
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -86400);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 86400L * 365);
    X509_set_pubkey(certificate.get(), key);
    X509_EXTENSION* usage = X509V3_EXT_conf_nid(nullptr, nullptr, NID_key_usage,
                                                "critical,digitalSignature,keyEncipherment");
    X509_add_ext(certificate.get(), usage, -1);
    X509_EXTENSION_free(usage);
    X509_sign(certificate.get(), key, EVP_sha256());
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate.get(), &der);
    Bytes bytes(der, der + (length > 0 ? length : 0));
    OPENSSL_free(der);
    return bytes;
}

// StoreHome: a state home whose "MY" holds `count` certificates, removed
// with its folder at exit.
class StoreHome {
public:
    explicit StoreHome(int count) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pennaform-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
        Key key(EVP_RSA_gen(1024));
        pennaform::Engine engine(config());
        auto store =
            engine.platform().stores()->openSystemStore(pennaform::platform::SystemStore::kMy);
        if (!store || !key) return;
        for (int number = 0; number < count; ++number) {
            if (!(*store)->add(holderCertificate(key.get(), number), {},
                               pennaform::platform::AddDisposition::kAlways)) {
                return;
            }
        }
        ready_ = true;
    }
    StoreHome(const StoreHome&) = delete;
    StoreHome& operator=(const StoreHome&) = delete;
    ~StoreHome() {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    pennaform::EngineConfig config() const { return {(folder_ / "home").string(), false}; }
    // ready: whether every certificate went in.
    bool ready() const { return ready_; }

private:
    std::filesystem::path folder_;
    bool ready_ = false;
};

const StoreHome& homeWith(int count) {
    static std::map<int, std::unique_ptr<StoreHome>> homes;
    std::unique_ptr<StoreHome>& home = homes[count];
    if (!home) home = std::make_unique<StoreHome>(count);
    return *home;
}

// filledHome: the home of `count` certificates; null, with the benchmark
// skipped, when it could not be filled.
const StoreHome* filledHome(benchmark::State& state, int count) {
    const StoreHome& home = homeWith(count);
    if (home.ready()) return &home;
    state.SkipWithError("the store could not be filled");
    return nullptr;
}

// evictCaches: writes over a buffer larger than the processor's caches, so
// that the next call starts cold, as a caller's single call would: a tight
// loop over 1,000 certificates otherwise runs from the caches while one over
// 10,000 cannot, and the ratio then measures the caches, not the code.
void evictCaches(benchmark::State& state) {
    static std::vector<char> buffer(64u << 20);
    state.PauseTiming();
    for (std::size_t at = 0; at < buffer.size(); at += 64) buffer[at] = char(buffer[at] + 1);
    benchmark::ClobberMemory();
    state.ResumeTiming();
}

void GetIECertCount(benchmark::State& state) {
    const int count = int(state.range(0));
    const StoreHome* home = filledHome(state, count);
    if (home == nullptr) return;
    pennaform::Engine engine(home->config());
    const bool cold = state.range(1) != 0;
    for (auto _ : state) {
        if (cold) evictCaches(state);
        if (engine.GetIECertCount() != count) {
            state.SkipWithError("wrong count");
            break;
        }
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * count);
}

// FindMatches: every certificate screened, none chosen but the last, in
// item mode (the filter names one holder).
void FindMatches(benchmark::State& state) {
    const int count = int(state.range(0));
    const StoreHome* home = filledHome(state, count);
    if (home == nullptr) return;
    pennaform::Engine engine(home->config());
    auto store = engine.platform().stores()->openSystemStore(pennaform::platform::SystemStore::kMy);
    if (!store) {
        state.SkipWithError("no store");
        return;
    }
    const std::string filter = "S_CN=Holder " + std::to_string(count - 1) + ",S_O=Example%";
    pennaform::signing::CertificateSearch search(engine.platform(), store->get());
    std::vector<pennaform::platform::StoredCertificate> matches;
    const bool cold = state.range(1) != 0;
    for (auto _ : state) {
        if (cold) evictCaches(state);
        const std::int32_t code = search.findMatches(
            &matches, {filter, pennaform::signing::searchFlags::kItemMode | 0x04, 0x80, {}});
        if (code != 0 || matches.size() != 1) {
            state.SkipWithError("wrong matches");
            break;
        }
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * count);
}

BENCHMARK(GetIECertCount)
    ->ArgNames({"certificates", "cold"})
    ->ArgsProduct({{1000, 10000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FindMatches)
    ->ArgNames({"certificates", "cold"})
    ->ArgsProduct({{1000, 10000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// RatioReporter: the console report, then for each benchmark and cache
// state the time of 10,000 certificates over that of 1,000.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            // args reads "certificates:N/cold:C".
            const std::string& args = run.run_name.args;
            const std::size_t slash = args.find('/');
            const std::string size = args.substr(0, slash);
            const std::string rest = slash == std::string::npos ? "" : args.substr(slash + 1);
            times_[run.run_name.function_name + " " + rest][size] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [name, bySize] : times_) {
            auto small = bySize.find("certificates:1000");
            auto large = bySize.find("certificates:10000");
            if (small == bySize.end() || large == bySize.end()) continue;
            std::printf("%s: 10,000 certificates cost %.2fx what 1,000 cost (limit 12x)\n",
                        name.c_str(), large->second / small->second);
        }
    }

private:
    std::map<std::string, std::map<std::string, double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
