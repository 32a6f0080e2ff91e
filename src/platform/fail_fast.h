// The fail-fast stop for a caller's contract violation (an index past the end, say): the process
// ends at once, without an exception, without unwinding, without flushing standard output and
// without a message of the tool's own.
#pragma once

namespace platform {

[[noreturn]] void fail_fast() noexcept;

}  // namespace platform
