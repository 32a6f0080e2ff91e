// The processor paths of the accelerated routines, one list each, so that the tests, the benchmarks
// and the fuzz targets run every routine on each of them.
//
// A path names the features its routine needs; forcing it makes the cpu module report exactly those
// (platform::cpu_limit_for_testing), so the routine under test picks that path and no wider one.
// A path this machine (or NOTEDIAG_CPU=portable) withholds is skipped by name, never passed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/cpu.h"

namespace testsupport {

struct CpuPath {
    const char* name;
    std::uint32_t features;
};

// Whatever the processor has: the tool's own choice.
inline constexpr CpuPath native_cpu_path{"native", platform::cpu_all};

// Every path of each routine, the portable one first; the same lists on every machine and build.
std::vector<CpuPath> aes_cbc_paths();
std::vector<CpuPath> sha256_paths();
std::vector<CpuPath> hex_dump_paths();
std::vector<CpuPath> aes_and_sha_paths();

// Forces `path` while it lives and puts the previous limit back when it goes, so it nests.
class ForcedCpuPath {
  public:
    explicit ForcedCpuPath(const CpuPath& path);
    ~ForcedCpuPath();
    ForcedCpuPath(const ForcedCpuPath&) = delete;
    ForcedCpuPath& operator=(const ForcedCpuPath&) = delete;

    // False when the machine lacks the path, whose cases are then to be skipped.
    bool available() const { return available_; }

  private:
    bool available_;
    std::uint32_t previous_;
};

// Why `path` cannot run here.
std::string unavailable(const CpuPath& path);

}  // namespace testsupport
