// Which of the processor's optional instructions the accelerated routines may use.
//
// The answer is read from the processor once; NOTEDIAG_CPU=portable in the environment withholds
// every feature, so the tool, the tests and the benchmarks can be made to run the portable code
// alone on any machine.
#pragma once

#include <cstdint>

// The accelerated routines exist for x86-64 with GCC or clang (Linux and MinGW alike); every other
// target and compiler builds the portable code alone, without any x86 header or intrinsic.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define NOTEDIAG_X86_PATHS 1
#else
#define NOTEDIAG_X86_PATHS 0
#endif

namespace platform {

// One bit per accelerated path. A bit is set only when every instruction its routine executes is
// available, including the state the operating system must save for it.
inline constexpr std::uint32_t cpu_aesni = 1u << 0;  // AES-NI: CBC decryption
inline constexpr std::uint32_t cpu_sha = 1u << 1;    // SHA-256 extensions with SSSE3 and SSE4.1
inline constexpr std::uint32_t cpu_ssse3 = 1u << 2;  // SSSE3: the dump's lines
inline constexpr std::uint32_t cpu_avx2 = 1u << 3;  // AVX2 with YMM state enabled: the dump's lines
inline constexpr std::uint32_t cpu_all = cpu_aesni | cpu_sha | cpu_ssse3 | cpu_avx2;

// The features this process uses: what the processor offers (read on the first call), nothing
// with NOTEDIAG_CPU=portable, and within the limit of cpu_limit_for_testing. Callers ask once per
// operation, never inside a loop over the data.
std::uint32_t cpu_features() noexcept;

// True when every feature in `features` is available.
inline bool cpu_has(std::uint32_t features) noexcept {
    return (cpu_features() & features) == features;
}

// Test and benchmark hook, not for the tool: from now on cpu_features() reports at most `mask`
// (cpu_all lifts the limit); returns the limit it replaces, to be put back afterwards. It never
// adds what the processor or the environment withholds. Not synchronised: call it while no
// accelerated routine runs.
std::uint32_t cpu_limit_for_testing(std::uint32_t mask) noexcept;

}  // namespace platform
