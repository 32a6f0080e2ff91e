#include "output/transcript.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "output/hex_dump.h"
#include "platform/escape.h"

namespace transcript {
namespace {

bool escaping = false;
platform::Escaper escaper({.keep_layout = true, .c1 = true, .backslash = true});
int failure = 0;

// Only the first failure counts: later writes to a failed stream can only fail again, and errno
// by then may tell of something else.
bool failed() noexcept {
    return failure != 0;
}

void note_failure() noexcept {
    if (failure == 0 && std::ferror(stdout) != 0) {
        failure = errno != 0 ? errno : EIO;
    }
}

}  // namespace

void escape_untrusted(bool on) noexcept {
    escaping = on;
}

void line(std::string_view text) {
    if (failed()) {
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    note_failure();
    if (!failed()) {
        std::fputc('\n', stdout);
        note_failure();
    }
}

void format(const char* format, ...) {
    if (failed()) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stdout, format, arguments);
    va_end(arguments);
    note_failure();
}

void untrusted_piece(const void* bytes, std::size_t count) {
    if (failed() || count == 0) {
        return;
    }
    if (escaping) {
        escaper.feed(static_cast<const std::uint8_t*>(bytes), count,
                     [](const char* run, std::size_t n) { std::fwrite(run, 1, n, stdout); });
    } else {
        std::fwrite(bytes, 1, count, stdout);
    }
    note_failure();
}

void untrusted_end() {
    if (failed()) {
        return;
    }
    escaper.finish([](const char* run, std::size_t n) { std::fwrite(run, 1, n, stdout); });
    note_failure();
}

void untrusted(const void* bytes, std::size_t count) {
    untrusted_piece(bytes, count);
    untrusted_end();
}

void dump(const void* data, std::uint32_t count) {
    if (failed()) {
        return;
    }
    hex_dump(stdout, data, count);
    note_failure();
}

bool finish() {
    if (!failed() && std::fflush(stdout) != 0) {
        note_failure();
        if (failure == 0) {
            failure = errno != 0 ? errno : EIO;
        }
    }
    return !failed();
}

int first_error() noexcept {
    return failure;
}

}  // namespace transcript
