#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "file/input.h"

namespace file {
namespace {

bool is_stream(mode_t mode) {
    return S_ISFIFO(mode) || S_ISSOCK(mode);
}

// The bytes of `source` from where it stands to its end, or its first `limit` bytes, in a file in
// memory. A note's bytes are not secret (only its key and its text are), so the copy is not wiped.
Input spool(int source, std::uint64_t limit) {
    const int memory = ::memfd_create("notediag-input", MFD_CLOEXEC);
    if (memory < 0) {
        raise_open_error(errno);
    }
    Input input{std::make_unique<File>(memory)};
    char chunk[1 << 16];
    std::uint64_t total = 0;
    while (total < limit) {
        const ssize_t got =
            ::read(source, chunk, std::min<std::uint64_t>(sizeof chunk, limit - total));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            raise_open_error(errno);
        }
        if (got == 0) {
            break;
        }
        if (!input.file->write(chunk, static_cast<std::size_t>(got))) {
            raise_open_error(errno != 0 ? errno : EIO);
        }
        total += static_cast<std::uint64_t>(got);
    }
    input.over_limit = total == limit;
    input.file->seek(0);
    return input;
}

}  // namespace

Input open_input(const char* path, std::uint64_t limit) {
    if (std::strcmp(path, "-") == 0) {
        return spool(STDIN_FILENO, limit);
    }
    // A device is refused before it is opened: opening one may act on it (a terminal, a tape).
    struct stat named {};
    if (::stat(path, &named) != 0) {
        raise_open_error(errno);
    }
    if (!S_ISREG(named.st_mode) && !S_ISDIR(named.st_mode) && !is_stream(named.st_mode)) {
        raise_open_error(not_a_file_or_pipe);
    }
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        raise_open_error(errno);
    }
    // What was opened decides, should the path have changed since it was looked at.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        const int error = errno;
        ::close(fd);
        raise_open_error(error);
    }
    if (S_ISREG(opened.st_mode) || S_ISDIR(opened.st_mode)) {
        return {std::make_unique<File>(fd)};  // which refuses a directory
    }
    if (!is_stream(opened.st_mode)) {
        ::close(fd);
        raise_open_error(not_a_file_or_pipe);
    }
    try {
        Input input = spool(fd, limit);
        ::close(fd);
        return input;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

}  // namespace file
