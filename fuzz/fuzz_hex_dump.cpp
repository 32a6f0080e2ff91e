// The dump against the plain reference formatter: the same bytes must give the same text, whatever
// the length (full lines, a short last line, several 64 KiB output blocks), on every line builder
// this machine has: the 64-bit words, SSSE3 and AVX2.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/hex_dump.h"
#include "platform/cpu.h"
#include "testkit/reference_dump.h"

namespace {

// What each builder needs; limiting the cpu module to it makes the dump choose that builder.
constexpr struct {
    const char* name;
    std::uint32_t features;
} kPaths[] = {{"portable", 0}, {"ssse3", platform::cpu_ssse3}, {"avx2", platform::cpu_avx2}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string expected = testsupport::reference_dump(data, size);
    for (const auto& path : kPaths) {
        if (!platform::cpu_has(path.features)) {
            continue;
        }
        const std::uint32_t previous = platform::cpu_limit_for_testing(path.features);
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
        platform::cpu_limit_for_testing(previous);
        if (length != expected.size() || std::memcmp(text, expected.data(), length) != 0) {
            std::fprintf(stderr, "fuzz_hex_dump: %zu bytes dumped differently on the %s path\n",
                         size, path.name);
            std::abort();
        }
        std::free(text);
    }
    return 0;
}
