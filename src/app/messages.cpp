#include "app/messages.h"

#include <cstdarg>
#include <cstdio>

#include "app/command_line.h"
#include "platform/terminal.h"

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

ProgressLine::ProgressLine() : on_(platform::is_terminal(platform::StandardStream::error)) {}

bool ProgressLine::due(bool last) {
    if (!on_) {
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - last_ < std::chrono::milliseconds(200)) {
        return false;
    }
    last_ = now;
    return true;
}

void ProgressLine::show(const std::string& text) {
    std::fprintf(stderr, "\rnotediag: %s\x1b[K", text.c_str());
    shown_ = true;
}

void ProgressLine::clear() {
    if (shown_) {
        std::fputs("\r\x1b[K", stderr);
        shown_ = false;
    }
}

bool all_went_out() noexcept {
    return !failed;
}

}  // namespace messages
