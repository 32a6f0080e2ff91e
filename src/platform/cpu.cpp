#include "platform/cpu.h"

#include <cstdlib>
#include <cstring>

#if NOTEDIAG_X86_PATHS
#include <cpuid.h>
#endif

namespace platform {

namespace {

#if NOTEDIAG_X86_PATHS

// XCR0, the register in which the operating system says which register state it saves. Read with
// the instruction itself: the intrinsic would need the whole file built for XSAVE.
std::uint64_t read_xcr0() {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return std::uint64_t{high} << 32 | low;
}

std::uint32_t processor_features() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return 0;
    }
    const bool ssse3 = (ecx & bit_SSSE3) != 0;
    const bool sse41 = (ecx & bit_SSE4_1) != 0;
    const bool aes = (ecx & bit_AES) != 0;
    // AVX registers are usable only when the operating system saves their upper halves (XCR0
    // bits 1 and 2, SSE and AVX state) and says so through OSXSAVE.
    const bool ymm_state =
        (ecx & bit_OSXSAVE) != 0 && (ecx & bit_AVX) != 0 && (read_xcr0() & 0x6) == 0x6;

    unsigned leaf7_ebx = 0;
    if (__get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, eax, leaf7_ebx, ecx, edx);
    }
    const bool avx2 = (leaf7_ebx & bit_AVX2) != 0;
    const bool sha = (leaf7_ebx & bit_SHA) != 0;

    std::uint32_t features = 0;
    features |= aes ? cpu_aesni : 0;
    features |= sha && ssse3 && sse41 ? cpu_sha : 0;
    features |= ssse3 ? cpu_ssse3 : 0;
    features |= avx2 && ymm_state ? cpu_avx2 : 0;
    return features;
}

#else

std::uint32_t processor_features() {
    return 0;
}

#endif

std::uint32_t detect() {
    const char* forced = std::getenv("NOTEDIAG_CPU");
    if (forced != nullptr && std::strcmp(forced, "portable") == 0) {
        return 0;
    }
    return processor_features();
}

std::uint32_t limit = cpu_all;

}  // namespace

std::uint32_t cpu_features() noexcept {
    static const std::uint32_t detected = detect();
    return detected & limit;
}

std::uint32_t cpu_limit_for_testing(std::uint32_t mask) noexcept {
    const std::uint32_t previous = limit;
    limit = mask;
    return previous;
}

}  // namespace platform
