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

// Positions are signed 32-bit, so a document lies in the first 2^31 - 1 bytes: a file of this
// length or more is refused whole, and a stream is read no further than this.
inline constexpr std::uint64_t input_limit = std::uint64_t{1} << 31;

struct Input {
    std::unique_ptr<File> file;
    // The stream reached `limit` bytes and was not read further; `file` holds those bytes.
    bool over_limit = false;
};

// Opens `path` for reading; "-" is standard input. A regular file is used as it is, unless it
// delivers other than its stated size (procfs, sysfs and the like), when it is read as a stream.
// A pipe, FIFO or socket is read to its end, or up to `limit` bytes, into an anonymous file (in
// memory on Linux, a temporary file deleted on close on Windows) positioned at its start; opening a
// FIFO waits for its writer. Anything else, a device for one, is refused with not_a_file_or_pipe,
// without being opened on POSIX. Throws file::FileError: Operation::open when the input cannot be
// opened or is refused, Operation::read or Operation::store when a stream cannot be read or held.
Input open_input(const char* path, std::uint64_t limit = input_limit);

// The parts of open_input that the platform halves share or supply.
namespace input_parts {

// The bytes of `source` from where it stands to its end, or its first `limit` bytes.
Input spool(File::NativeHandle source, std::uint64_t limit);

// Supplied by each platform. An empty anonymous file open for reading and writing.
File::NativeHandle anonymous_file();
// Raises Operation::store for the write into the spool that has just failed.
[[noreturn]] void raise_store_error();

}  // namespace input_parts

}  // namespace file
