// The processor paths of the accelerated routines, so that one test case runs on each of them.
//
// A path names the features its routine needs; forcing it makes the cpu module report exactly those
// (platform::cpu_limit_for_testing), so the routine under test picks that path and no wider one.
// A path this machine (or NOTEDIAG_CPU=portable) withholds is skipped by name, never passed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/cpu.h"
#include "support/case_name.h"

namespace testsupport {

struct CpuPath {
    const char* name;
    std::uint32_t features;
};

// Every path of each routine, the portable one first; the same lists on every machine and build.
std::vector<CpuPath> aes_cbc_paths();
std::vector<CpuPath> sha256_paths();
std::vector<CpuPath> hex_dump_paths();
std::vector<CpuPath> key_trial_paths();

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

// Why `path` cannot run here, for GTEST_SKIP.
std::string unavailable(const CpuPath& path);

// A parameterised fixture whose first parameter is the path: each case runs with that path forced,
// or is skipped by the path's name. Instantiate with testing::Combine(ValuesIn(paths), ...).
template <class... Params>
class OnCpuPath : public testing::TestWithParam<std::tuple<CpuPath, Params...>> {
  protected:
    void SetUp() override {
        forced_.emplace(std::get<0>(this->GetParam()));
        if (!forced_->available()) {
            GTEST_SKIP() << unavailable(std::get<0>(this->GetParam()));
        }
    }
    void TearDown() override { forced_.reset(); }

  private:
    std::optional<ForcedCpuPath> forced_;
};

}  // namespace testsupport
