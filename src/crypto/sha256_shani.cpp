#include "crypto/sha256_shani.h"

#if NOTEDIAG_X86_PATHS

#include "crypto/sha256_shani_rounds.h"

// Only the function below is built for the SHA extensions (and the SSSE3 byte shuffle and SSE4.1
// blend around them); the rest of the program runs on any x86-64.
#define NOTEDIAG_SHANI [[gnu::target("sha,sse4.1")]]

namespace sha256_internal {

NOTEDIAG_SHANI void compress_blocks_shani(std::uint32_t state[8], const std::uint8_t* data,
                                          std::uint32_t blocks) {
    __m128i abef;
    __m128i cdgh;
    to_register_pair(state, abef, cdgh);
    for (; blocks > 0; --blocks, data += 64) {
        compress_block(abef, cdgh, data);
    }
    from_register_pair(abef, cdgh, state);
}

}  // namespace sha256_internal

#endif
