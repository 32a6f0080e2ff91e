#include "file/input.h"

#include <algorithm>

namespace file::input_parts {

// A note's bytes are not secret (only its key and its text are), so the copy is not wiped.
Input spool(File::NativeHandle source, std::uint64_t limit) {
    Input input{std::make_unique<File>(anonymous_file())};
    char chunk[1 << 16];
    std::uint64_t total = 0;
    while (total < limit) {
        int error = 0;
        const std::ptrdiff_t got = platform::read_handle(
            source, chunk, std::min<std::uint64_t>(sizeof chunk, limit - total), error);
        if (got < 0) {
            raise_failure(Operation::read, error);
        }
        if (got == 0) {
            break;
        }
        if (!input.file->write(chunk, static_cast<std::size_t>(got))) {
            raise_store_error();
        }
        total += static_cast<std::uint64_t>(got);
    }
    input.over_limit = total == limit;
    input.file->seek(0);
    return input;
}

}  // namespace file::input_parts
