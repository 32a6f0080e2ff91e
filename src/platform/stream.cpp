#include "platform/stream.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace platform {

#ifdef _WIN32

NativeHandle standard_input() noexcept {
    return GetStdHandle(STD_INPUT_HANDLE);
}

bool open_stream(const char* path, NativeHandle& handle, int& error) noexcept {
    handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

bool descriptor_handle(int fd, NativeHandle& handle) noexcept {
    const intptr_t os = _get_osfhandle(fd);
    if (os == -1) {
        return false;
    }
    handle = reinterpret_cast<HANDLE>(os);
    return true;
}

void close_handle(NativeHandle handle) noexcept {
    CloseHandle(handle);
}

std::ptrdiff_t read_handle(NativeHandle handle, void* buffer, std::size_t size,
                           int& error) noexcept {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (ReadFile(handle, buffer, want, &got, nullptr)) {
        return got;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_BROKEN_PIPE) {
        return 0;
    }
    error = static_cast<int>(code);
    return -1;
}

int last_system_error() noexcept {
    return static_cast<int>(GetLastError());
}

const char* error_text(int error) noexcept {
    // The usual reasons read as they do on POSIX, so a report does not depend on the platform or
    // on the language of the system's message tables.
    switch (static_cast<DWORD>(error)) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "No such file or directory";
        case ERROR_ACCESS_DENIED:
            return "Permission denied";
        case ERROR_INVALID_NAME:
            return "Invalid file name";
        case ERROR_DIRECTORY:
            return "Is a directory";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "No space left on device";
        case ERROR_INVALID_HANDLE:
            return "Bad file descriptor";
        case ERROR_NO_DATA:
            return "Broken pipe";
        default:
            break;
    }
    thread_local char text[256];
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    if (length == 0) {
        std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
        return text;
    }
    // System messages end in a full stop and CR LF; the caller ends the line itself.
    std::size_t end = std::strlen(text);
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == '.' ||
                       text[end - 1] == ' ')) {
        --end;
    }
    text[end] = '\0';
    return text;
}

#else

NativeHandle standard_input() noexcept {
    return STDIN_FILENO;
}

bool open_stream(const char* path, NativeHandle& handle, int& error) noexcept {
    handle = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (handle < 0) {
        error = errno;
        return false;
    }
    return true;
}

bool descriptor_handle(int fd, NativeHandle& handle) noexcept {
    if (::fcntl(fd, F_GETFD) < 0) {
        return false;
    }
    handle = fd;
    return true;
}

void close_handle(NativeHandle handle) noexcept {
    ::close(handle);
}

std::ptrdiff_t read_handle(NativeHandle handle, void* buffer, std::size_t size,
                           int& error) noexcept {
    for (;;) {
        const ssize_t got = ::read(handle, buffer, size);
        if (got >= 0) {
            return got;
        }
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

int last_system_error() noexcept {
    return errno;
}

const char* error_text(int error) noexcept {
    return std::strerror(error);
}

#endif

}  // namespace platform
