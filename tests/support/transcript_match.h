// Compares whole transcripts and, when they differ, shows where: the first differing line of each,
// with its number and the lines around it, rather than two screens of dump or nothing at all.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

namespace testsupport {

// A predicate-formatter: EXPECT_PRED_FORMAT2(SameTranscript, expected, run.out). Bytes outside
// printable ASCII are shown escaped, so a binary difference stays visible and harmless.
testing::AssertionResult SameTranscript(const char* expected_expression,
                                        const char* actual_expression, std::string_view expected,
                                        std::string_view actual);

}  // namespace testsupport
