#include "platform/console.h"

#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#else
#include <unistd.h>
#endif

namespace platform {

void use_binary_standard_streams() noexcept {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

#ifdef _WIN32
// A pipe whose writer has gone reports ERROR_BROKEN_PIPE: that is its end.
std::ptrdiff_t read_standard_input(void* buffer, std::size_t size) noexcept {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, want, &got, nullptr)) {
        return got;
    }
    if (GetLastError() == ERROR_BROKEN_PIPE) {
        return 0;
    }
    errno = EIO;
    return -1;
}
#else
std::ptrdiff_t read_standard_input(void* buffer, std::size_t size) noexcept {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, size);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}
#endif

}  // namespace platform
