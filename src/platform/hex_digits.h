// The hex digits every formatter of bytes shares: the dump's cells and offsets, escaped control
// bytes, signatures in messages, hashes in the JSON report.
#pragma once

namespace platform {

inline constexpr char hex_digits_lower[] = "0123456789abcdef";
inline constexpr char hex_digits_upper[] = "0123456789ABCDEF";

}  // namespace platform
