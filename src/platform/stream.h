// Reading an open handle (standard input, a pipe, a terminal): the one primitive every reader of a
// stream uses, the note's spool, the password line and the prompt alike, with one error convention.
#pragma once

#include <cstddef>

namespace platform {

#ifdef _WIN32
using NativeHandle = void*;  // HANDLE
#else
using NativeHandle = int;  // a file descriptor
#endif

NativeHandle standard_input() noexcept;

// Opens `path` to read it as a stream (a file, or a pipe such as <(pass show note)); false with
// the error code in `error` when it cannot be opened. Close the handle with close_handle.
bool open_stream(const char* path, NativeHandle& handle, int& error) noexcept;
// The handle of an inherited file descriptor (on Windows, the runtime's descriptor `fd`); false
// when no such descriptor is open.
bool descriptor_handle(int fd, NativeHandle& handle) noexcept;
void close_handle(NativeHandle handle) noexcept;

// One read of up to `size` bytes of `handle` into `buffer`, past any runtime buffering, so secret
// bytes land only where the caller put them. Returns the count read, 0 at the end of the stream
// (on Windows also a pipe whose writer has gone), or -1 on failure with the platform's error code
// (errno, GetLastError()) in `error`. An interrupted read is taken up again.
std::ptrdiff_t read_handle(NativeHandle handle, void* buffer, std::size_t size,
                           int& error) noexcept;

// The error code of the system call that has just failed on this thread (errno, GetLastError()).
int last_system_error() noexcept;

// The platform's wording of an error code from read_handle or another system call, alike on every
// platform for the common cases ("No such file or directory", "Permission denied", ...).
const char* error_text(int error) noexcept;

}  // namespace platform
