// Base64 throughput of ByteBuffer beside OpenSSL's EVP_EncodeBlock and
// EVP_DecodeBlock on the same data, at 1 MiB and 64 MiB of binary input.
// Both write into an output buffer kept across iterations (ByteBuffer reuses
// its block when the next result fits); the *Fresh cases make a new
// ByteBuffer per call, allocation and page faults included.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "encoding/ByteBuffer.h"

namespace {

using pennaform::ByteBuffer;

std::vector<std::uint8_t> randomBytes(std::size_t n) {
    std::mt19937_64 rng(n);
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) b = std::uint8_t(rng());
    return out;
}

std::string base64Of(const std::vector<std::uint8_t>& in) {
    std::string out((in.size() + 2) / 3 * 4 + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), in.data(), int(in.size()));
    out.resize(std::size_t(n));
    return out;
}

void encodeOurs(benchmark::State& state) {
    const auto in = randomBytes(std::size_t(state.range(0)));
    ByteBuffer out;
    for (auto _ : state) {
        if (!out.base64Encode(in.data(), std::int32_t(in.size()))) state.SkipWithError("encode");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}

void encodeOpenSsl(benchmark::State& state) {
    const auto in = randomBytes(std::size_t(state.range(0)));
    std::vector<unsigned char> out((in.size() + 2) / 3 * 4 + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), in.data(), int(in.size())));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}

// The decoders' figures count the binary bytes produced, so that both
// directions read in the same unit.
void decodeOurs(benchmark::State& state) {
    const std::string text = base64Of(randomBytes(std::size_t(state.range(0))));
    ByteBuffer out;
    for (auto _ : state) {
        if (!out.base64Decode(text)) state.SkipWithError("decode");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}

void decodeOpenSsl(benchmark::State& state) {
    const std::string text = base64Of(randomBytes(std::size_t(state.range(0))));
    std::vector<unsigned char> out(text.size() / 4 * 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(EVP_DecodeBlock(
            out.data(), reinterpret_cast<const unsigned char*>(text.data()), int(text.size())));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}

void encodeOursFresh(benchmark::State& state) {
    const auto in = randomBytes(std::size_t(state.range(0)));
    for (auto _ : state) {
        ByteBuffer out;
        if (!out.base64Encode(in.data(), std::int32_t(in.size()))) state.SkipWithError("encode");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}

void decodeOursFresh(benchmark::State& state) {
    const std::string text = base64Of(randomBytes(std::size_t(state.range(0))));
    for (auto _ : state) {
        ByteBuffer out;
        if (!out.base64Decode(text)) state.SkipWithError("decode");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}

constexpr std::int64_t kSmall = std::int64_t(1) << 20;
constexpr std::int64_t kLarge = std::int64_t(64) << 20;

BENCHMARK(encodeOurs)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeOpenSsl)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeOurs)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeOpenSsl)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeOursFresh)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeOursFresh)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
