// Standard output, the tool's transcript. Every line of it goes through here, so a failed write
// is noticed where it happens: the error of the first write that failed is kept, and nothing more
// is formatted once the stream has failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__GNUC__)
#define NOTEDIAG_PRINTF_FORMAT(format_index, first_argument) \
    __attribute__((format(printf, format_index, first_argument)))
#else
#define NOTEDIAG_PRINTF_FORMAT(format_index, first_argument)
#endif

namespace transcript {

// Whether untrusted bytes (the password, the note's text) are shown with their control bytes
// escaped (--escape; by default when standard output is a terminal): the C0 controls but tab and
// newline, DEL, the C1 controls, and the backslash. Off by default.
void escape_untrusted(bool on) noexcept;

// `text` and a newline.
void line(std::string_view text);
void format(const char* format, ...) NOTEDIAG_PRINTF_FORMAT(1, 2);
// Bytes that came from the note or the command line, exact or escaped (see escape_untrusted).
void untrusted(const void* bytes, std::size_t count);
// The same for a text that arrives in pieces: a UTF-8 sequence cut between two pieces is judged
// whole. untrusted_end() ends the text.
void untrusted_piece(const void* bytes, std::size_t count);
void untrusted_end();
// The dump lines of `count` bytes.
void dump(const void* data, std::uint32_t count);

// Flushes standard output; true when everything written so far has gone out.
bool finish();
// The error code (errno) of the first write that failed, 0 while none has.
int first_error() noexcept;

}  // namespace transcript
