#include "crypto/DigestKernels.h"

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace pennaform::digests {
namespace {

constexpr DigestKernels kPortable{"portable", md5BlocksPortable, sha1BlocksPortable,
                                  sha256BlocksPortable, sha512BlocksPortable};

#if defined(__x86_64__)
struct CpuFeatures {
    bool sha = false;
    bool avx2 = false;
    bool bmi2 = false;
};

// cpuFeatures: what CPUID (leaves 1 and 7) reports, with AVX2 counted only
// when the operating system saves the YMM registers (XCR0 bits 1 and 2).
CpuFeatures cpuFeatures() {
    CpuFeatures features;
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return features;
    const bool sse41 = ecx & bit_SSE4_1;
    const bool ssse3 = ecx & bit_SSSE3;
    bool osSavesYmm = false;
    if ((ecx & bit_OSXSAVE) && (ecx & bit_AVX)) {
        unsigned xcr0Low, xcr0High;
        __asm__("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
        osSavesYmm = (xcr0Low & 0x6) == 0x6;
    }
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return features;
    features.sha = (ebx & bit_SHA) && sse41 && ssse3;
    features.avx2 = (ebx & bit_AVX2) && osSavesYmm;
    features.bmi2 = (ebx & bit_BMI2) && (ebx & bit_BMI);
    return features;
}

DigestKernels detectFastest() {
    const CpuFeatures cpu = cpuFeatures();
    DigestKernels k = kPortable;
    k.name = "accelerated";
    if (cpu.sha) {
        k.sha1 = sha1BlocksShaNi;
        k.sha256 = sha256BlocksShaNi;
    }
    if (cpu.avx2 && cpu.bmi2) k.sha512 = sha512BlocksAvx2;
    return k;
}
#else
DigestKernels detectFastest() {
    return kPortable;
}
#endif

bool sameFunctions(const DigestKernels& a, const DigestKernels& b) {
    return a.md5 == b.md5 && a.sha1 == b.sha1 && a.sha256 == b.sha256 && a.sha512 == b.sha512;
}

}  // namespace

const DigestKernels& portableDigestKernels() {
    return kPortable;
}

const DigestKernels& fastestDigestKernels() {
    static const DigestKernels fastest = detectFastest();
    return fastest;
}

std::vector<const DigestKernels*> runnableDigestKernels() {
    std::vector<const DigestKernels*> sets{&portableDigestKernels()};
    if (!sameFunctions(fastestDigestKernels(), portableDigestKernels())) {
        sets.push_back(&fastestDigestKernels());
    }
    return sets;
}

}  // namespace pennaform::digests
