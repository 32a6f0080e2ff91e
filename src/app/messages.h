// Standard error: every message of the tool goes through here, each a line that starts with the
// program's name, so a failed write to it is noticed in one place.
#pragma once

#include <string_view>

#include "output/transcript.h"  // NOTEDIAG_PRINTF_FORMAT

namespace messages {

// "notediag: " + `text` + a newline.
void say(std::string_view text);
void sayf(const char* format, ...) NOTEDIAG_PRINTF_FORMAT(1, 2);

// A usage failure: `text` as say() writes it, or the usage line when `text` is empty, then the
// line that points to --help. Returns the exit status of a usage error.
int usage_failure(std::string_view text);

// False once a message could not be written (standard error closed or full): the run has lost
// what it had to say, which makes it a failure.
bool all_went_out() noexcept;

}  // namespace messages
