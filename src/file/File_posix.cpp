#include "file/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

// Lengths and positions past 2 GiB must reach the system intact on 32-bit hosts too; the build
// asks for 64-bit file offsets (_FILE_OFFSET_BITS=64).
static_assert(sizeof(off_t) == 8, "File needs 64-bit file offsets");

namespace {

[[noreturn]] void fail_open(int fd, int error) {
    if (fd >= 0) {
        ::close(fd);
    }
    file::raise_failure(file::Operation::open, error);
}

// Both transfers go on after a signal or a kernel-split transfer, so a regular file delivers all
// it has; they stop at the end of the file or on an error.
template <typename Byte, typename Call>
bool transfer(Byte* buffer, std::size_t size, Call call) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t moved = call(buffer + done, size - done);
        if (moved < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (moved == 0) {
            return false;
        }
        done += static_cast<std::size_t>(moved);
    }
    return true;
}

// The checks every open makes once it has a descriptor; returns it as the File's own.
int adopt(int fd, bool writable, bool lock) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        fail_open(fd, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        fail_open(fd, EISDIR);
    }
    // Readers share the file; a writer holds it alone. A lock that cannot be had is a refused open.
    if (lock && ::flock(fd, (writable ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        fail_open(fd, errno);
    }
    return fd;
}

}  // namespace

namespace file {

const char* describe_error(int error) noexcept {
    // The refused lock: the system's own text for it ("Resource temporarily unavailable") does
    // not say what is going on.
    if (error == EWOULDBLOCK) {
        return "locked by another program";
    }
    if (error == not_a_file_or_pipe) {
        return "not a regular file or pipe";
    }
    return platform::error_text(error);
}

}  // namespace file

File::File(const char* path, bool writable, bool create) : handle(-1) {
    int flags = (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY;
    if (create) {
        flags |= O_CREAT;
    }
    const int fd = ::open(path, flags, 0666);
    if (fd < 0) {
        fail_open(-1, errno);
    }
    handle = adopt(fd, writable, true);
}

File::File(NativeHandle opened, bool lock) : handle(adopt(opened, false, lock)) {}

File::~File() {
    ::close(handle);
}

bool File::read_exactly(void* buffer, std::size_t size) {
    return transfer(static_cast<char*>(buffer), size,
                    [this](char* at, std::size_t n) { return ::read(handle, at, n); });
}

bool File::write_exactly(const void* buffer, std::size_t size) {
    return transfer(static_cast<const char*>(buffer), size,
                    [this](const char* at, std::size_t n) { return ::write(handle, at, n); });
}

bool File::seek(std::int32_t position) {
    if (position < 0) {
        return false;
    }
    return ::lseek(handle, position, SEEK_SET) >= 0;
}

std::uint32_t File::tell() {
    const off_t position = ::lseek(handle, 0, SEEK_CUR);
    return position < 0 ? 0 : static_cast<std::uint32_t>(position);
}

std::uint32_t File::size() {
    return static_cast<std::uint32_t>(size64());
}

std::uint64_t File::size64() {
    struct stat info {};
    if (::fstat(handle, &info) != 0 || info.st_size < 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool File::truncate() {
    const off_t position = ::lseek(handle, 0, SEEK_CUR);
    return position >= 0 && ::ftruncate(handle, position) == 0;
}

namespace file {

std::unique_ptr<File> create_new(const char* path, bool owner_only) {
    const int fd =
        ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, owner_only ? 0600 : 0666);
    if (fd < 0) {
        raise_failure(Operation::open, errno);
    }
    // Made by this process alone: its lock cannot be held by anyone else.
    return std::make_unique<File>(fd, false);
}

bool remove(const char* path) noexcept {
    return ::unlink(path) == 0;
}

bool exists(const char* path) noexcept {
    struct stat info {};
    return ::lstat(path, &info) == 0;
}

}  // namespace file
