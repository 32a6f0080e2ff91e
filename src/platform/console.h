// Standard streams that carry exact bytes.
#pragma once

#include <cstddef>

namespace platform {

// Puts standard output and standard error in binary mode where the runtime would otherwise turn
// each "\n" into "\r\n" (Windows), so a transcript is byte-identical on every platform. Call it
// before anything is written.
void use_binary_standard_streams() noexcept;

// One system read of standard input into `buffer`, past any runtime buffering, so secret bytes
// land only where the caller put them: the count read, 0 at its end, -1 on failure (errno set).
std::ptrdiff_t read_standard_input(void* buffer, std::size_t size) noexcept;

}  // namespace platform
