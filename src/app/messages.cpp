#include "app/messages.h"

#include <cstdarg>
#include <cstdio>

#include "app/command_line.h"

namespace messages {
namespace {

bool failed = false;

void note_failure() noexcept {
    if (std::ferror(stderr) != 0 || std::fflush(stderr) != 0) {
        failed = true;
    }
}

}  // namespace

void say(std::string_view text) {
    std::fprintf(stderr, "notediag: %.*s\n", static_cast<int>(text.size()), text.data());
    note_failure();
}

void sayf(const char* format, ...) {
    std::fputs("notediag: ", stderr);
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    note_failure();
}

int usage_failure(std::string_view text) {
    if (text.empty()) {
        std::fprintf(stderr, "%s\n", usage_line);
        note_failure();
    } else {
        say(text);
    }
    std::fprintf(stderr, "%s\n", try_line);
    note_failure();
    return exit_usage;
}

bool all_went_out() noexcept {
    return !failed;
}

}  // namespace messages
