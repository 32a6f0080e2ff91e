// The one primitive that overwrites secrets with zeros.
//
// A plain memset right before memory is released, or before a stack frame ends, is a dead store
// that the optimiser may remove. explicit_bzero (SecureZeroMemory on Windows) is guaranteed to be
// performed; it is the only way this code base wipes a secret.
#pragma once

#include <cstddef>

namespace platform {

// Writes `length` zero bytes at `data`; never elided. A null `data` with a zero `length` is fine.
void secure_wipe(void* data, std::size_t length) noexcept;

}  // namespace platform
