// Names for the cases of parameterised tests, one scheme for every suite.
//
// A case is named by its `name` member when it has one, by its printed form otherwise, and a tuple
// by its elements' names joined with '_' (a processor path first: "portable_CBCMMT256_rsp"). Only
// letters, digits and '_' are kept, since test filters and ctest take nothing else. Instantiate
// with testsupport::CaseName{} as the last argument of INSTANTIATE_TEST_SUITE_P.
#pragma once

#include <gtest/gtest.h>

#include <concepts>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

namespace testsupport {

template <class Case>
concept NamedCase = requires(const Case& c) {
    {std::string_view(c.name)};
};

// Each run of characters other than ASCII letters and digits becomes one '_'; none at either end.
inline std::string identifier(std::string_view text) {
    std::string name;
    for (const char c : text) {
        const bool word =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (word) {
            name += c;
        } else if (!name.empty() && name.back() != '_') {
            name += '_';
        }
    }
    if (!name.empty() && name.back() == '_') {
        name.pop_back();
    }
    return name;
}

template <class Param>
std::string case_label(const Param& param) {
    if constexpr (NamedCase<Param>) {
        return identifier(std::string_view(param.name));
    } else if constexpr (requires { std::tuple_size<Param>::value; }) {
        return std::apply(
            [](const auto&... element) {
                std::string joined;
                const auto add = [&joined](const std::string& label) {
                    if (!joined.empty()) {
                        joined += '_';
                    }
                    joined += label;
                };
                (add(case_label(element)), ...);
                return joined;
            },
            param);
    } else {
        return identifier(testing::PrintToString(param));
    }
}

struct CaseName {
    template <class Param>
    std::string operator()(const testing::TestParamInfo<Param>& info) const {
        std::string name = case_label(info.param);
        return name.empty() ? "case" + std::to_string(info.index) : name;
    }
};

// A named case prints as its name in listings and failure messages, instead of as the bytes of the
// object. The test source brings it in beside its case types: using testsupport::PrintTo;
template <NamedCase Case>
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

}  // namespace testsupport
