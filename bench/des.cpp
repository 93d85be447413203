// Triple-DES CBC throughput of the component's own DES (with its PKCS#5
// padding) beside OpenSSL's des-ede3-cbc (padding on), 16 MiB per call, the
// same key, IV and data, in one run.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdint>
#include <random>
#include <vector>

#include "crypto/Des.h"

namespace {

constexpr std::size_t kDataLen = std::size_t(16) << 20;
constexpr std::uint8_t kKey[24] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                   13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};

std::vector<std::uint8_t> randomBytes(std::size_t n) {
    std::mt19937_64 rng(n);
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) b = std::uint8_t(rng());
    return out;
}

void tripleDesOurs(benchmark::State& state) {
    const auto in = randomBytes(kDataLen);
    const auto cipher = pennaform::des::TripleDes::fromKey(kKey);
    const pennaform::des::Block iv{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(pennaform::des::cbcEncrypt(*cipher, iv, in).data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kDataLen));
}

void tripleDesOpenSsl(benchmark::State& state) {
    const auto in = randomBytes(kDataLen);
    std::vector<std::uint8_t> out(kDataLen + 8);
    const std::uint8_t iv[8] = {};
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        int len = 0, last = 0;
        if (EVP_EncryptInit_ex(context, EVP_des_ede3_cbc(), nullptr, kKey, iv) != 1 ||
            EVP_EncryptUpdate(context, out.data(), &len, in.data(), int(in.size())) != 1 ||
            EVP_EncryptFinal_ex(context, out.data() + len, &last) != 1) {
            state.SkipWithError("OpenSSL refused the cipher");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    EVP_CIPHER_CTX_free(context);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kDataLen));
}

}  // namespace

BENCHMARK(tripleDesOurs)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(tripleDesOpenSsl)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
