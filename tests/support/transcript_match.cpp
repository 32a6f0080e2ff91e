#include "support/transcript_match.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {
namespace {

constexpr std::size_t context_lines = 2;

// The lines of `text`, each with its newline if it has one, so that a missing last newline is a
// difference like any other.
std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return lines;
}

std::string shown(std::string_view line) {
    std::string text;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            text += "\\n";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            text += escaped;
        }
    }
    return text;
}

std::string line_or_end(const std::vector<std::string_view>& lines, std::size_t i) {
    return i < lines.size() ? '"' + shown(lines[i]) + '"' : "(end of text)";
}

}  // namespace

testing::AssertionResult SameTranscript(const char* expected_expression,
                                        const char* actual_expression, std::string_view expected,
                                        std::string_view actual) {
    if (expected == actual) {
        return testing::AssertionSuccess();
    }
    const auto want = lines_of(expected), got = lines_of(actual);
    std::size_t first = 0;
    while (first < want.size() && first < got.size() && want[first] == got[first]) {
        ++first;
    }
    std::ostringstream message;
    message << actual_expression << " differs from " << expected_expression << " at line "
            << first + 1 << " (" << got.size() << " lines, " << actual.size() << " bytes; expected "
            << want.size() << " lines, " << expected.size() << " bytes)\n";
    for (std::size_t i = first - std::min(first, context_lines); i < first; ++i) {
        message << "  line " << i + 1 << ":     " << line_or_end(want, i) << "\n";
    }
    message << "  expected " << first + 1 << ": " << line_or_end(want, first) << "\n"
            << "  actual   " << first + 1 << ": " << line_or_end(got, first) << "\n";
    for (std::size_t i = first + 1; i <= first + context_lines; ++i) {
        if (i < want.size() || i < got.size()) {
            message << "  expected " << i + 1 << ": " << line_or_end(want, i) << "\n"
                    << "  actual   " << i + 1 << ": " << line_or_end(got, i) << "\n";
        }
    }
    return testing::AssertionFailure() << message.str();
}

}  // namespace testsupport
