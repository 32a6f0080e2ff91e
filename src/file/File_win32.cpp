#include "file/File.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

thread_local int open_error = 0;

// SetFilePointer and GetFileSize answer 0xFFFFFFFF both for a failure and for a real position or
// length with all low bits set; only the last error code tells them apart.
bool answered(DWORD value) {
    return value != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

HANDLE native(void* handle) {
    return static_cast<HANDLE>(handle);
}

}  // namespace

namespace file {

int last_open_error() noexcept {
    return open_error;
}

const char* describe_open_error(int error) noexcept {
    // The usual reasons read as they do on POSIX, so a report does not depend on the platform or
    // on the language of the system's message tables.
    if (error == not_a_file_or_pipe) {
        return "not a regular file or pipe";
    }
    switch (static_cast<DWORD>(error)) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "No such file or directory";
        case ERROR_ACCESS_DENIED:
            return "Permission denied";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "locked by another program";
        case ERROR_INVALID_NAME:
            return "Invalid file name";
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

void raise_open_error(int error) {
    open_error = error;
    throw FileError();
}

}  // namespace file

File::File(const char* path, bool writable, bool create) : handle(INVALID_HANDLE_VALUE) {
    const HANDLE opened = CreateFileA(path, GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                                      writable ? 0 : FILE_SHARE_READ, nullptr,
                                      create ? OPEN_ALWAYS : OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        open_error = static_cast<int>(GetLastError());
        throw file::FileError();
    }
    handle = opened;
    open_error = 0;
}

File::File(NativeHandle opened) : handle(opened) {
    open_error = 0;
}

File::~File() {
    CloseHandle(native(handle));
}

bool File::read_exactly(void* buffer, std::size_t size) {
    DWORD transferred = 0;
    return ReadFile(native(handle), buffer, static_cast<DWORD>(size), &transferred, nullptr) &&
           transferred == size;
}

bool File::write_exactly(const void* buffer, std::size_t size) {
    DWORD transferred = 0;
    return WriteFile(native(handle), buffer, static_cast<DWORD>(size), &transferred, nullptr) &&
           transferred == size;
}

// A negative position is refused by the system itself (ERROR_NEGATIVE_SEEK), position unchanged.
bool File::seek(std::int32_t position) {
    return answered(SetFilePointer(native(handle), position, nullptr, FILE_BEGIN));
}

std::uint32_t File::tell() {
    const DWORD position = SetFilePointer(native(handle), 0, nullptr, FILE_CURRENT);
    return answered(position) ? position : 0;
}

std::uint32_t File::size() {
    const DWORD length = GetFileSize(native(handle), nullptr);
    return answered(length) ? length : 0;
}

std::uint64_t File::size64() {
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(native(handle), &length) || length.QuadPart < 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(length.QuadPart);
}

bool File::truncate() {
    return SetEndOfFile(native(handle)) != 0;
}
