// SHA-256 compression on the processor's SHA extensions, beside the portable round code of the
// sha256 module. Internal to the module; compiled only where platform/cpu.h enables the x86 paths.
#pragma once

#include <cstdint>

#include "platform/cpu.h"

#if NOTEDIAG_X86_PATHS

namespace sha256_internal {

// Compresses `blocks` consecutive 64-byte blocks at `data` into the chaining value `state` (H0..H7
// as integers), with the same result as one sha256_compress per block. No alignment is needed.
// Needs cpu_sha.
void compress_blocks_shani(std::uint32_t state[8], const std::uint8_t* data, std::uint32_t blocks);

}  // namespace sha256_internal

#endif
