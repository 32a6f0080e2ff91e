// What both platforms' File share: the record of the last failure and the transfer-count check in
// front of their reads and writes.
#include "file/File.h"

#include <cstdint>
#include <limits>

#include "platform/check.h"

#ifdef _WIN32
#include <windows.h>
#else
// The largest transfer count of one platform read or write, as on the platform this tool comes
// from.
using DWORD = std::uint32_t;
#endif

namespace file {
namespace {

thread_local Failure last;

}  // namespace

Failure last_failure() noexcept {
    return last;
}

void raise_failure(Operation operation, int error) {
    last = {operation, error};
    throw FileError();
}

}  // namespace file

bool File::read(void* buffer, std::size_t size) {
    NOTEDIAG_ASSERT(size <= std::numeric_limits<DWORD>::max());
    return read_exactly(buffer, size);
}

bool File::write(const void* buffer, std::size_t size) {
    NOTEDIAG_ASSERT(size <= std::numeric_limits<DWORD>::max());
    return write_exactly(buffer, size);
}
