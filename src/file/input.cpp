#include "file/input.h"

#include <algorithm>

namespace file::input_parts {

// A note's bytes are not secret (only its key and its text are), so the copy is not wiped.
Input spool(File::NativeHandle source, std::uint64_t limit) {
    Input input{std::make_unique<File>(anonymous_file())};
    char chunk[1 << 16];
    std::uint64_t total = 0;
    while (total < limit) {
        const std::size_t got =
            read_some(source, chunk, std::min<std::uint64_t>(sizeof chunk, limit - total));
        if (got == 0) {
            break;
        }
        if (!input.file->write(chunk, got)) {
            raise_write_error();
        }
        total += got;
    }
    input.over_limit = total == limit;
    input.file->seek(0);
    return input;
}

}  // namespace file::input_parts
