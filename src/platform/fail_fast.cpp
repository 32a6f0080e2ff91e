#include "platform/fail_fast.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

#ifdef _WIN32
// The runtime's invalid-parameter stop ends the process this way when no fast-fail instruction is
// at hand; doing it directly gives the same exit status (0xC0000417) on every Windows version and
// under Wine. Nothing is unwound, no atexit handler runs, standard output is not flushed.
void fail_fast() noexcept {
    constexpr UINT invalid_crt_parameter = 0xC0000417;
    TerminateProcess(GetCurrentProcess(), invalid_crt_parameter);
    std::abort();  // not reached: terminating the current process does not return
}
#else
// abort() raises SIGABRT: no destructors, no atexit handlers, no stdio flush.
void fail_fast() noexcept {
    std::abort();
}
#endif

}  // namespace platform
