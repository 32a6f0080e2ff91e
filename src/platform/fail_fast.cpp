#include "platform/fail_fast.h"

#include <cstdlib>

namespace platform {

// abort() raises SIGABRT: no destructors, no atexit handlers, no stdio flush.
void fail_fast() noexcept {
    std::abort();
}

}  // namespace platform
