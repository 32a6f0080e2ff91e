#include "file/File.h"

#include <windows.h>
// sddl.h after windows.h, which it builds on.
#include <sddl.h>

#include <cstdint>

namespace {

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

const char* describe_error(int error) noexcept {
    if (error == not_a_file_or_pipe) {
        return "not a regular file or pipe";
    }
    switch (static_cast<DWORD>(error)) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "locked by another program";
        default:
            return platform::error_text(error);
    }
}

}  // namespace file

File::File(const char* path, bool writable, bool create) : handle(INVALID_HANDLE_VALUE) {
    const HANDLE opened = CreateFileA(path, GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                                      writable ? 0 : FILE_SHARE_READ, nullptr,
                                      create ? OPEN_ALWAYS : OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        file::raise_failure(file::Operation::open, static_cast<int>(GetLastError()));
    }
    handle = opened;
}

// Share modes were settled by whoever opened the handle.
File::File(NativeHandle opened, bool) : handle(opened) {}

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

namespace file {

std::unique_ptr<File> create_new(const char* path, bool owner_only) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // Protected (no inherited entries), full access for the owner and nobody else.
    if (owner_only && !ConvertStringSecurityDescriptorToSecurityDescriptorA(
                          "D:P(A;;FA;;;OW)", SDDL_REVISION_1, &descriptor, nullptr)) {
        raise_failure(Operation::open, static_cast<int>(GetLastError()));
    }
    attributes.lpSecurityDescriptor = descriptor;
    const HANDLE created =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, owner_only ? &attributes : nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (descriptor != nullptr) {
        LocalFree(descriptor);
    }
    if (created == INVALID_HANDLE_VALUE) {
        raise_failure(Operation::open, static_cast<int>(error));
    }
    return std::make_unique<File>(created);
}

bool remove(const char* path) noexcept {
    return DeleteFileA(path) != 0;
}

bool exists(const char* path) noexcept {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace file
