#include <windows.h>

#include <algorithm>
#include <cstring>

#include "file/input.h"

namespace file {
namespace {

// An empty file in the temporary directory that the system deletes when its handle closes, and
// keeps in memory as long as it can.
HANDLE temporary_file() {
    char directory[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof directory, directory);
    if (length == 0 || length > sizeof directory ||
        GetTempFileNameA(directory, "nd", 0, name) == 0) {
        raise_open_error(static_cast<int>(GetLastError()));
    }
    const HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        DeleteFileA(name);
        raise_open_error(static_cast<int>(error));
    }
    return file;
}

// The bytes of `source` from where it stands to its end, or its first `limit` bytes. A note's
// bytes are not secret (only its key and its text are), so the copy is not wiped.
Input spool(HANDLE source, std::uint64_t limit) {
    Input input{std::make_unique<File>(temporary_file())};
    char chunk[1 << 16];
    std::uint64_t total = 0;
    while (total < limit) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(sizeof chunk, limit - total));
        if (!ReadFile(source, chunk, want, &got, nullptr)) {
            // The writer closing its end of a pipe is the end of the stream.
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE) {
                break;
            }
            raise_open_error(static_cast<int>(error));
        }
        if (got == 0) {
            break;
        }
        if (!input.file->write(chunk, got)) {
            raise_open_error(static_cast<int>(GetLastError()));
        }
        total += got;
    }
    input.over_limit = total == limit;
    input.file->seek(0);
    return input;
}

}  // namespace

Input open_input(const char* path, std::uint64_t limit) {
    if (std::strcmp(path, "-") == 0) {
        return spool(GetStdHandle(STD_INPUT_HANDLE), limit);
    }
    const HANDLE opened =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        raise_open_error(static_cast<int>(GetLastError()));
    }
    switch (GetFileType(opened)) {
        case FILE_TYPE_DISK:
            return {std::make_unique<File>(opened)};
        case FILE_TYPE_PIPE:  // pipes and sockets
            try {
                Input input = spool(opened, limit);
                CloseHandle(opened);
                return input;
            } catch (...) {
                CloseHandle(opened);
                throw;
            }
        default:  // a console, NUL, a serial port
            CloseHandle(opened);
            raise_open_error(not_a_file_or_pipe);
    }
}

}  // namespace file
