// Standard streams that carry exact bytes.
#pragma once

namespace platform {

// Puts standard output and standard error in binary mode where the runtime would otherwise turn
// each "\n" into "\r\n" (Windows), so a transcript is byte-identical on every platform. Call it
// before anything is written.
void use_binary_standard_streams() noexcept;

}  // namespace platform
