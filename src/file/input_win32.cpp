#include <windows.h>

#include <cstring>

#include "file/input.h"

namespace file {
namespace input_parts {

// A file in the temporary directory that the system deletes when its handle closes, and keeps in
// memory as long as it can.
File::NativeHandle anonymous_file() {
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

// The writer closing its end of a pipe is the end of the stream.
std::size_t read_some(File::NativeHandle source, void* buffer, std::size_t size) {
    DWORD got = 0;
    if (!ReadFile(source, buffer, static_cast<DWORD>(size), &got, nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_BROKEN_PIPE) {
            raise_open_error(static_cast<int>(error));
        }
    }
    return got;
}

void raise_write_error() {
    raise_open_error(static_cast<int>(GetLastError()));
}

}  // namespace input_parts

Input open_input(const char* path, std::uint64_t limit) {
    if (std::strcmp(path, "-") == 0) {
        return input_parts::spool(GetStdHandle(STD_INPUT_HANDLE), limit);
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
                Input input = input_parts::spool(opened, limit);
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
