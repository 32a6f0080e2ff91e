// dump_file PATH: the tool's hex dump of a whole file on standard output, through the transcript as
// the tool prints it (its buffers and write calls, and the parallel dump on more than one core).
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#include "output/transcript.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dump_file PATH\n");
        return 2;
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(argv[1], error);
    if (error || size > std::numeric_limits<std::uint32_t>::max()) {
        std::fprintf(stderr, "%s: not a readable file of at most 4 GiB\n", argv[1]);
        return 1;
    }
    // Mapped whole, so the dump is one call with offsets continuous from 0 and the timing is the
    // dump's, not that of copying the file into the heap first.
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    void* bytes = nullptr;
    if (fd >= 0 && size != 0) {
        bytes = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    }
    if (fd < 0 || bytes == MAP_FAILED) {
        std::perror(argv[1]);
        return 1;
    }
    ::close(fd);
    transcript::dump(bytes, static_cast<std::uint32_t>(size));
    return transcript::finish() ? 0 : 1;
}
