// Standard error: every message of the tool goes through here, each a line that starts with the
// program's name, so a failed write to it is noticed in one place.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "output/transcript.h"  // NOTEDIAG_PRINTF_FORMAT

namespace messages {

// "notediag: " + `text` + a newline.
void say(std::string_view text);
void sayf(const char* format, ...) NOTEDIAG_PRINTF_FORMAT(1, 2);

// A usage failure: `text` as say() writes it, or the usage line when `text` is empty, then the
// line that points to --help. Returns the exit status of a usage error.
int usage_failure(std::string_view text);

// A line on standard error that a long run keeps rewriting (notes done, candidates tried), on a
// terminal only, at most five times a second; cleared before the run's last words.
class ProgressLine {
  public:
    ProgressLine();
    // Whether a call to show() now would be seen: on a terminal, and a fifth of a second after the
    // last (or `last` is set: the final figures).
    bool due(bool last = false);
    // "notediag: " + `text`, over what was there.
    void show(const std::string& text);
    void clear();

  private:
    bool on_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
};

// False once a message could not be written (standard error closed or full): the run has lost
// what it had to say, which makes it a failure.
bool all_went_out() noexcept;

}  // namespace messages
