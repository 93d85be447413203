// Throughput of the component's four digests beside OpenSSL's EVP digest of
// the same algorithm over the same 64 MiB of random bytes, in one run. The
// "portable" cases show the plain C++ block functions for comparison.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "crypto/Digests.h"

namespace {

constexpr std::size_t kInputLen = 64u << 20;

const std::vector<std::uint8_t>& input() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::mt19937_64 rng(64);
        std::vector<std::uint8_t> out(kInputLen);
        for (auto& b : out) b = std::uint8_t(rng());
        return out;
    }();
    return bytes;
}

template <typename Digest>
void ours(benchmark::State& state, const pennaform::digests::DigestKernels* kernels) {
    const auto& in = input();
    Digest digest(*kernels);
    for (auto _ : state) {
        digest.compute(in.data(), in.size());
        benchmark::DoNotOptimize(digest.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.size()));
}

struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

void openssl(benchmark::State& state, const EVP_MD* md) {
    const auto& in = input();
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int outLen = 0;
    for (auto _ : state) {
        if (EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1 ||
            EVP_DigestUpdate(ctx.get(), in.data(), in.size()) != 1 ||
            EVP_DigestFinal_ex(ctx.get(), out, &outLen) != 1) {
            state.SkipWithError("EVP digest failed");
            break;
        }
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(in.size()));
}

using pennaform::Md5Digest;
using pennaform::Sha1Digest;
using pennaform::Sha256Digest;
using pennaform::Sha512Digest;
using pennaform::digests::fastestDigestKernels;
using pennaform::digests::portableDigestKernels;

using Kernels = pennaform::digests::DigestKernels;
void oursMd5(benchmark::State& s, const Kernels* k) {
    ours<Md5Digest>(s, k);
}
void oursSha1(benchmark::State& s, const Kernels* k) {
    ours<Sha1Digest>(s, k);
}
void oursSha256(benchmark::State& s, const Kernels* k) {
    ours<Sha256Digest>(s, k);
}
void oursSha512(benchmark::State& s, const Kernels* k) {
    ours<Sha512Digest>(s, k);
}

BENCHMARK_CAPTURE(oursMd5, fastest, &fastestDigestKernels())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(openssl, Md5, EVP_md5())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(oursSha1, fastest, &fastestDigestKernels())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(openssl, Sha1, EVP_sha1())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(oursSha256, fastest, &fastestDigestKernels())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(openssl, Sha256, EVP_sha256())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(oursSha512, fastest, &fastestDigestKernels())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(openssl, Sha512, EVP_sha512())->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(oursSha1, portable, &portableDigestKernels())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(oursSha256, portable, &portableDigestKernels())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(oursSha512, portable, &portableDigestKernels())->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
