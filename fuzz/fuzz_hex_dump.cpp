// The dump against the plain reference formatter: the same bytes must give the same text, whatever
// the length (full lines, a short last line, several 64 KiB output blocks), on every line builder
// this machine has: the 64-bit words, SSSE3 and AVX2.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "output/hex_dump.h"
#include "testkit/cpu_paths.h"
#include "testkit/reference_dump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto paths = testsupport::hex_dump_paths();
    const std::string expected = testsupport::reference_dump(data, size);
    for (const auto& path : paths) {
        const testsupport::ForcedCpuPath forced(path);
        if (!forced.available()) {
            continue;
        }
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
        if (length != expected.size() || std::memcmp(text, expected.data(), length) != 0) {
            std::fprintf(stderr, "fuzz_hex_dump: %zu bytes dumped differently on the %s path\n",
                         size, path.name);
            std::abort();
        }
        std::free(text);
    }
    return 0;
}
