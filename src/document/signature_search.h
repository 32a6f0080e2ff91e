// Where a note's signature lies in an input: every offset at which "SEKRiT*1" or "SEKRiT*2" starts.
// The verdict names such places when no document was found where one was looked for, and --scan
// lists them all with the header each one begins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "file/File.h"

struct SignatureHit {
    std::uint64_t offset;  // from the start of the input
    int version;           // 1 or 2
    // The input's bytes from the signature on: at least a version-2 header's worth where the input
    // holds that many after it. Valid during the call only.
    const std::uint8_t* bytes;
    std::size_t available;
};

// Calls `found` for every signature that starts in the first `starts` positions of `bytes`
// (`count` bytes, the input's bytes from `base` on), in offset order, until it returns false.
// Returns false when stopped.
bool find_signatures(const std::uint8_t* bytes, std::size_t count, std::size_t starts,
                     std::uint64_t base, const std::function<bool(const SignatureHit&)>& found);

// The same over the whole of `file` (`size` bytes), read in large pieces from its start; a
// signature, or the header after it, cut by the end of a piece is found whole. The file's position
// is left anywhere.
bool find_signatures(File& file, std::uint64_t size,
                     const std::function<bool(const SignatureHit&)>& found);
