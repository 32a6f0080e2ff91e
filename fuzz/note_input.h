// What the note fuzzers read, and where they put it: the first byte gives the password's length n,
// the next n bytes (fewer when the input is shorter) are the password, the rest is the file, which
// goes into one in-memory file rewritten for every input (the fuzzer should not wait on a disk).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "secure/Plaintext.h"

namespace fuzzing {

struct NoteInput {
    const std::uint8_t* password;
    std::size_t password_length;
    const std::uint8_t* file;
    std::size_t file_size;
};

inline NoteInput split_note_input(const std::uint8_t* data, std::size_t size) {
    const std::size_t rest = size == 0 ? 0 : size - 1;
    const std::uint8_t* password = size == 0 ? data : data + 1;
    const std::size_t password_length = size == 0 ? 0 : std::min<std::size_t>(data[0], rest);
    return {password, password_length, password + password_length, rest - password_length};
}

// The password as the tool holds it, copied by length: it may hold zero bytes.
inline Plaintext key_of(const NoteInput& input) {
    Plaintext key;
    key.resize(static_cast<std::uint32_t>(input.password_length));
    if (input.password_length != 0) {
        std::memcpy(key.data(), input.password, input.password_length);
    }
    return key;
}

class MemoryFile {
  public:
    explicit MemoryFile(const char* name) : fd_(::memfd_create(name, MFD_CLOEXEC)) {
        if (fd_ < 0) {
            fail("cannot create the in-memory file");
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    const std::string& path() const { return path_; }

    void write(const std::uint8_t* bytes, std::size_t size) {
        if (::ftruncate(fd_, 0) != 0) {
            fail("cannot empty the in-memory file");
        }
        for (std::size_t done = 0; done < size;) {
            const ssize_t written =
                ::pwrite(fd_, bytes + done, size - done, static_cast<off_t>(done));
            if (written <= 0) {
                fail("cannot fill the in-memory file");
            }
            done += static_cast<std::size_t>(written);
        }
    }

  private:
    [[noreturn]] static void fail(const char* what) {
        std::fprintf(stderr, "fuzzing: %s\n", what);
        std::abort();
    }

    int fd_;
    std::string path_;
};

}  // namespace fuzzing
