#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "file/input.h"

namespace file {
namespace input_parts {

// On Linux a file in memory that no directory shows; elsewhere a temporary file, unlinked at once,
// which the system deletes when the descriptor closes.
File::NativeHandle anonymous_file() {
#ifdef __linux__
    const int fd = ::memfd_create("notediag-input", MFD_CLOEXEC);
#else
    const char* directory = std::getenv("TMPDIR");
    std::string name =
        std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
        "/notediag-input-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd >= 0) {
        ::unlink(name.c_str());
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
#endif
    if (fd < 0) {
        raise_failure(Operation::open, errno);
    }
    return fd;
}

void raise_store_error() {
    raise_failure(Operation::store, errno != 0 ? errno : EIO);
}

}  // namespace input_parts

namespace {

bool is_stream(mode_t mode) {
    return S_ISFIFO(mode) || S_ISSOCK(mode);
}

// Whether a regular file holds the bytes its length states: the pseudo files of procfs state 0 and
// deliver text, those of sysfs state a page and deliver a line. One byte at each end tells.
bool delivers_its_size(int fd, off_t size) {
    char byte;
    if (size == 0) {
        return ::pread(fd, &byte, 1, 0) == 0;
    }
    return ::pread(fd, &byte, 1, size - 1) == 1;
}

// Reads `fd` as a stream, closing it whatever happens.
Input spool_and_close(int fd, std::uint64_t limit) {
    try {
        Input input = input_parts::spool(fd, limit);
        ::close(fd);
        return input;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

// An open regular file: used in place, or read as a stream when it is a pseudo file.
Input regular(int fd, const struct stat& info, std::uint64_t limit, bool lock) {
    if (delivers_its_size(fd, info.st_size)) {
        return {std::make_unique<File>(fd, lock)};
    }
    ::lseek(fd, 0, SEEK_SET);
    return spool_and_close(fd, limit);
}

}  // namespace

Input open_input(const char* path, std::uint64_t limit) {
    if (std::strcmp(path, "-") == 0) {
        // Standard input is duplicated, so the File's close leaves descriptor 0 alone. A regular
        // file there is read in place unless a caller has already read part of it; a directory
        // falls to the spool, whose read names the failure.
        struct stat info {};
        if (::fstat(STDIN_FILENO, &info) != 0) {
            raise_failure(Operation::open, errno);
        }
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
            raise_failure(Operation::open, not_a_file_or_pipe);
        }
        if (S_ISREG(info.st_mode) && ::lseek(STDIN_FILENO, 0, SEEK_CUR) == 0) {
            const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
            if (fd < 0) {
                raise_failure(Operation::open, errno);
            }
            return regular(fd, info, limit, false);
        }
        return input_parts::spool(STDIN_FILENO, limit);
    }
    // A device is refused before it is opened: opening one may act on it (a terminal, a tape).
    struct stat named {};
    if (::stat(path, &named) != 0) {
        raise_failure(Operation::open, errno);
    }
    if (!S_ISREG(named.st_mode) && !S_ISDIR(named.st_mode) && !is_stream(named.st_mode)) {
        raise_failure(Operation::open, not_a_file_or_pipe);
    }
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        raise_failure(Operation::open, errno);
    }
    // What was opened decides, should the path have changed since it was looked at.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
        const int error = errno;
        ::close(fd);
        raise_failure(Operation::open, error);
    }
    if (S_ISDIR(opened.st_mode)) {
        return {std::make_unique<File>(fd)};  // which refuses it
    }
    if (S_ISREG(opened.st_mode)) {
        return regular(fd, opened, limit, true);
    }
    if (!is_stream(opened.st_mode)) {
        ::close(fd);
        raise_failure(Operation::open, not_a_file_or_pipe);
    }
    return spool_and_close(fd, limit);
}

}  // namespace file
