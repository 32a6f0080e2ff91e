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
#include <memory>

#include "platform/stream.h"

namespace file {

// Raised when a file cannot be opened, or a stream cannot be read into its spool. It carries no
// text and no error code of its own; last_failure() tells what failed and why.
class FileError : public std::exception {
  public:
    FileError() noexcept = default;
    const char* what() const noexcept override { return message; }

  private:
    const char* message = "";
};

// What the most recent FileError on this thread was raised for.
enum class Operation : std::uint8_t {
    open,   // the path could not be opened as a file
    read,   // a stream could not be read
    store,  // a stream's bytes could not be written into its spool
};

struct Failure {
    Operation operation = Operation::open;
    // The platform's error code (errno, or GetLastError() on Windows), or one of the file layer's
    // own below; 0 when nothing has failed.
    int error = 0;
};

Failure last_failure() noexcept;

// A short reason for a Failure's error, worded alike on every platform for the common cases ("No
// such file or directory", "Permission denied", "locked by another program").
const char* describe_error(int error) noexcept;

// The file layer's own reason, beside the platform's codes (which are never negative): the path
// names something that cannot be read as a file, such as a device.
inline constexpr int not_a_file_or_pipe = -1;

// Records `operation` and `error` as the most recent failure and raises file::FileError.
[[noreturn]] void raise_failure(Operation operation, int error);

}  // namespace file

class File;

namespace file {

// Creates `path`, which must not exist (nothing is overwritten, not even through a link), open
// for writing; with `owner_only` only its owner may read it (0600; on Windows a DACL for the owner
// alone). Throws file::FileError (Operation::open) when it cannot.
std::unique_ptr<File> create_new(const char* path, bool owner_only);
// Removes `path`; false when it could not.
bool remove(const char* path) noexcept;
// Whether something (a file, a directory, a dangling link) already has the name `path`.
bool exists(const char* path) noexcept;

}  // namespace file

class File {
  public:
    using NativeHandle = platform::NativeHandle;

    // Opens `path` for reading (others may read too, no writer is admitted) or, with `writable`,
    // for reading and writing (no other opener is admitted; kept, like `create` and truncate: the
    // tool opens paths only to read them, its tests cover the rest); the sharing rules are
    // advisory locks on POSIX and share modes, binding on every other program, on Windows. With
    // `create` a missing file is created empty; an existing one is never truncated. Directories
    // are refused. Throws file::FileError.
    File(const char* path, bool writable, bool create);
    // Takes over `opened`, a handle open for reading or for reading and writing (the spool of a
    // stream is written through it, then read), and shares it as a reader does (on POSIX it is
    // refused, and closed, when it names a directory or, with `lock`, when a writer holds its
    // lock; standard input takes no lock, since its opener asked for none). Throws
    // file::FileError.
    explicit File(NativeHandle opened, bool lock = true);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // True when exactly `size` bytes were transferred. A short transfer leaves what was
    // transferred in `buffer` and in the position.
    bool read(void* buffer, std::size_t size);
    bool write(const void* buffer, std::size_t size);
    // Sets the position; a negative `position` is refused and changes nothing.
    bool seek(std::int32_t position);
    // The current position, low 32 bits; 0 on failure.
    std::uint32_t tell();
    // The file's length, low 32 bits; 0 on failure.
    // Kept: part of the interface the tool itself does not call (its tests do); not dead code.
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
