#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "file/input.h"

namespace file {
namespace input_parts {

File::NativeHandle anonymous_file() {
    const int memory = ::memfd_create("notediag-input", MFD_CLOEXEC);
    if (memory < 0) {
        raise_open_error(errno);
    }
    return memory;
}

std::size_t read_some(File::NativeHandle source, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(source, buffer, size);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            raise_open_error(errno);
        }
    }
}

void raise_write_error() {
    raise_open_error(errno != 0 ? errno : EIO);
}

}  // namespace input_parts

namespace {

bool is_stream(mode_t mode) {
    return S_ISFIFO(mode) || S_ISSOCK(mode);
}

}  // namespace

Input open_input(const char* path, std::uint64_t limit) {
    if (std::strcmp(path, "-") == 0) {
        return input_parts::spool(STDIN_FILENO, limit);
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
        Input input = input_parts::spool(fd, limit);
        ::close(fd);
        return input;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

}  // namespace file
