// The parameterised fixture that runs a test case on each processor path (testkit/cpu_paths.h).
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "support/case_name.h"
#include "testkit/cpu_paths.h"

namespace testsupport {

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
