// File: the owner of one open file with 32-bit positions.
//
// Only opening raises (file::FileError); every other operation reports failure by its result and
// leaves it to the caller to look. No buffering: each operation is one system call (on POSIX a
// transfer interrupted by a signal, or split by the kernel, is continued until it completes or
// ends). File.cpp holds what both platforms share; File_posix.cpp and File_win32.cpp the rest, and
// the build picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>

namespace file {

// Raised when a file cannot be opened. It carries no text and no error code of its own;
// last_open_error() tells why the most recent open failed.
class FileError : public std::exception {
  public:
    FileError() noexcept = default;
    const char* what() const noexcept override { return message; }

  private:
    const char* message = "";
};

// The platform's error code of the most recent failed open on this thread (errno, or
// GetLastError() on Windows), 0 when none has failed.
int last_open_error() noexcept;

// A short reason for an error code from last_open_error(), worded alike on every platform for the
// common cases ("No such file or directory", "Permission denied", "locked by another program").
const char* describe_open_error(int error) noexcept;

// The file layer's own reason, beside the platform's codes (which are never negative): the path
// names something that cannot be read as a file, such as a device.
inline constexpr int not_a_file_or_pipe = -1;

// Records `error` as the reason of a failed open and raises file::FileError.
[[noreturn]] void raise_open_error(int error);

}  // namespace file

class File {
  public:
#ifdef _WIN32
    using NativeHandle = void*;  // HANDLE
#else
    using NativeHandle = int;
#endif

    // Opens `path` for reading (others may read too, no writer is admitted) or, with `writable`,
    // for reading and writing (no other opener is admitted; kept, like `create`, write and
    // truncate: the tool only reads, its tests cover the rest); the sharing rules are advisory
    // locks on POSIX and share modes, binding on every other program, on Windows. With `create` a
    // missing file is created empty; an existing one is never truncated. Directories are refused.
    // Throws file::FileError.
    File(const char* path, bool writable, bool create);
    // Takes over `opened`, a handle open for reading, and shares it as a reader does (on POSIX it
    // is refused, and closed, when it names a directory or a writer holds its lock). Throws
    // file::FileError.
    explicit File(NativeHandle opened);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // True when exactly `size` bytes were transferred. A short transfer leaves what was
    // transferred in `buffer` and in the position.
    bool read(void* buffer, std::size_t size);
    // Kept: part of the interface the tool itself does not call (its tests do); not dead code.
    bool write(const void* buffer, std::size_t size);
    // Sets the position; a negative `position` is refused and changes nothing.
    bool seek(std::int32_t position);
    // The current position, low 32 bits; 0 on failure.
    std::uint32_t tell();
    // The file's length, low 32 bits; 0 on failure.
    std::uint32_t size();
    // The file's whole length, of which size() keeps only the low 32 bits; 0 on failure.
    std::uint64_t size64();
    // Sets the end of the file to the current position.
    // Kept: part of the interface the tool itself does not call (its tests do); not dead code.
    bool truncate();

  private:
    // The platform's transfers; read and write check the count first.
    bool read_exactly(void* buffer, std::size_t size);
    bool write_exactly(const void* buffer, std::size_t size);

    NativeHandle handle;
};
