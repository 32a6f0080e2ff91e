#include "testkit/cpu_paths.h"

#include <cstdlib>
#include <cstring>

namespace testsupport {

namespace {

constexpr CpuPath portable{"portable", 0};

}  // namespace

std::vector<CpuPath> aes_cbc_paths() {
    return {portable, {"aesni", platform::cpu_aesni}};
}

std::vector<CpuPath> sha256_paths() {
    return {portable, {"shani", platform::cpu_sha}};
}

std::vector<CpuPath> hex_dump_paths() {
    return {portable, {"ssse3", platform::cpu_ssse3}, {"avx2", platform::cpu_avx2}};
}

// The routines that run the hash and the cipher together (the key trial, the decryption that
// hashes) take their hardware path only with both instructions; with either missing the portable
// code runs.
std::vector<CpuPath> aes_and_sha_paths() {
    return {portable, {"shani_aesni", platform::cpu_sha | platform::cpu_aesni}};
}

ForcedCpuPath::ForcedCpuPath(const CpuPath& path)
    : available_(path.features == platform::cpu_all || platform::cpu_has(path.features)),
      previous_(platform::cpu_limit_for_testing(path.features)) {}

ForcedCpuPath::~ForcedCpuPath() {
    platform::cpu_limit_for_testing(previous_);
}

std::string unavailable(const CpuPath& path) {
    const char* forced = std::getenv("NOTEDIAG_CPU");
    const char* why = !NOTEDIAG_X86_PATHS ? "not built for this processor"
                      : forced != nullptr && std::strcmp(forced, "portable") == 0
                          ? "withheld by NOTEDIAG_CPU=portable"
                          : "this processor lacks it";
    return std::string(path.name) + " path skipped: " + why;
}

}  // namespace testsupport
