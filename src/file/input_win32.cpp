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
        raise_failure(Operation::open, static_cast<int>(GetLastError()));
    }
    const HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        DeleteFileA(name);
        raise_failure(Operation::open, static_cast<int>(error));
    }
    return file;
}

void raise_store_error() {
    raise_failure(Operation::store, static_cast<int>(GetLastError()));
}

}  // namespace input_parts

namespace {

// Takes `handle` (already owned by the caller) as the input, by its type: a disk file in place, a
// pipe or socket read whole, anything else (a console, NUL, a serial port) refused.
Input by_type(HANDLE handle, bool owned, std::uint64_t limit) {
    switch (GetFileType(handle)) {
        case FILE_TYPE_DISK:
            return {std::make_unique<File>(handle)};
        case FILE_TYPE_PIPE:
            try {
                Input input = input_parts::spool(handle, limit);
                if (owned) {
                    CloseHandle(handle);
                }
                return input;
            } catch (...) {
                if (owned) {
                    CloseHandle(handle);
                }
                throw;
            }
        default:
            if (owned) {
                CloseHandle(handle);
            }
            raise_failure(Operation::open, not_a_file_or_pipe);
    }
}

}  // namespace

Input open_input(const char* path, std::uint64_t limit) {
    if (std::strcmp(path, "-") == 0) {
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        // A disk file on standard input is read in place through a handle of its own, so the
        // File's close leaves standard input alone.
        if (GetFileType(input) == FILE_TYPE_DISK) {
            HANDLE own = INVALID_HANDLE_VALUE;
            if (!DuplicateHandle(GetCurrentProcess(), input, GetCurrentProcess(), &own, 0, FALSE,
                                 DUPLICATE_SAME_ACCESS)) {
                raise_failure(Operation::open, static_cast<int>(GetLastError()));
            }
            return by_type(own, true, limit);
        }
        return by_type(input, false, limit);
    }
    const HANDLE opened =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        raise_failure(Operation::open, static_cast<int>(GetLastError()));
    }
    return by_type(opened, true, limit);
}

}  // namespace file
