// What the locator reads: the file a path names, or the bytes of a stream held in a file of their
// own. A document is found by seeking from its end, which a pipe cannot do, so a stream is read
// whole first. input.cpp holds what both platforms share, input_posix.cpp and input_win32.cpp
// the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "file/File.h"

namespace file {

// The most a stream is read: positions are signed 32-bit, so a document lies in the first 2 GiB.
inline constexpr std::uint64_t stream_limit = std::uint64_t{1} << 31;

struct Input {
    std::unique_ptr<File> file;
    // The stream reached `limit` bytes and was not read further; `file` holds those bytes.
    bool over_limit = false;
};

// Opens `path` for reading. A regular file is used as it is. "-" (standard input) and a pipe, FIFO
// or socket are read to their end, or up to `limit` bytes, into an anonymous file (in memory on
// Linux, a temporary file deleted on close on Windows) positioned at its start. Opening a FIFO
// waits for its writer. Anything else, a device for one, is refused with not_a_file_or_pipe, and
// without being opened on POSIX. Throws file::FileError, also when reading the stream fails.
Input open_input(const char* path, std::uint64_t limit = stream_limit);

// The parts of open_input that the platform halves share or supply.
namespace input_parts {

// The bytes of `source` from where it stands to its end, or its first `limit` bytes.
Input spool(File::NativeHandle source, std::uint64_t limit);

// Supplied by each platform. An empty anonymous file open for reading and writing.
File::NativeHandle anonymous_file();
// One read of `source`: the count, 0 at its end. Raises on failure.
std::size_t read_some(File::NativeHandle source, void* buffer, std::size_t size);
// Raises for the write that has just failed.
[[noreturn]] void raise_write_error();

}  // namespace input_parts

}  // namespace file
