// The table-driven dump against the plain reference formatter: the same bytes must give the same
// text, whatever the length (full lines, a short last line, several 64 KiB output blocks).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/hex_dump.h"
#include "support/reference_dump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    if (out == nullptr) {
        std::abort();
    }
    hex_dump(out, data, static_cast<std::uint32_t>(size));
    if (std::fclose(out) != 0) {
        std::abort();
    }
    const std::string expected = testsupport::reference_dump(data, size);
    if (length != expected.size() || std::memcmp(text, expected.data(), length) != 0) {
        std::fprintf(stderr, "fuzz_hex_dump: %zu bytes dumped differently\n", size);
        std::abort();
    }
    std::free(text);
    return 0;
}
