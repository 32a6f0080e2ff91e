#include "document/signature_search.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "document/format.h"

namespace {

constexpr std::size_t signature_size = sizeof header_v2_signature;
// The seven bytes the two signatures share; the eighth tells the version.
constexpr std::size_t common = signature_size - 1;

constexpr bool share_all_but_the_last() {
    for (std::size_t i = 0; i < common; ++i) {
        if (header_v1_signature[i] != header_v2_signature[i]) {
            return false;
        }
    }
    return true;
}
static_assert(share_all_but_the_last());

// Large enough that the system calls and the carried-over bytes cost nothing beside the search.
constexpr std::size_t piece_size = 1 << 20;

}  // namespace

bool find_signatures(const std::uint8_t* bytes, std::size_t count, std::size_t starts,
                     std::uint64_t base, const std::function<bool(const SignatureHit&)>& found) {
    if (count < signature_size) {
        return true;
    }
    starts = std::min(starts, count - signature_size + 1);
    // memchr finds the first letter at the speed of memory; the rest is compared only there.
    const std::uint8_t* const end = bytes + starts;
    for (const std::uint8_t* at = bytes; at < end;) {
        const void* s = std::memchr(at, header_v2_signature[0], static_cast<std::size_t>(end - at));
        if (s == nullptr) {
            break;
        }
        at = static_cast<const std::uint8_t*>(s);
        if (std::memcmp(at, header_v2_signature, common) == 0) {
            const std::uint8_t last = at[common];
            const int version = last == static_cast<std::uint8_t>(header_v1_signature[common]) ? 1
                                : last == static_cast<std::uint8_t>(header_v2_signature[common])
                                    ? 2
                                    : 0;
            const auto offset = static_cast<std::size_t>(at - bytes);
            if (version != 0 && !found({base + offset, version, at, count - offset})) {
                return false;
            }
        }
        ++at;
    }
    return true;
}

bool find_signatures(File& file, std::uint64_t size,
                     const std::function<bool(const SignatureHit&)>& found) {
    if (!file.seek(0)) {
        return true;
    }
    // A hit is handed on with the header that follows it, so the last header's worth of each
    // piece is searched with the next.
    constexpr std::size_t carry = header_v2_size - 1;
    const auto buffer = std::make_unique<std::uint8_t[]>(piece_size + carry);
    std::size_t carried = 0;  // bytes at the buffer's start left from the last piece
    std::uint64_t read = 0;
    while (read < size) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece_size, size - read));
        const bool got = file.read(buffer.get() + carried, want);
        const std::size_t held = carried + (got ? want : 0);
        const bool last = !got || read + want == size;
        const std::size_t starts = last ? held : held - std::min(held, carry);
        if (!find_signatures(buffer.get(), held, starts, read - carried, found)) {
            return false;
        }
        if (!got) {
            return true;  // the file shrank: what was read has been searched
        }
        read += want;
        carried = held - starts;
        std::memmove(buffer.get(), buffer.get() + starts, carried);
    }
    return true;
}
