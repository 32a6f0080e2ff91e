#include <sys/resource.h>

#include <cstring>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "platform/process.h"
#include "platform/secure_wipe.h"

namespace platform {

// The hard limit too, so nothing later in the process can raise the soft one again.
void keep_memory_private() noexcept {
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
#ifdef __linux__
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

// The kernel shows the arguments straight from the process's memory, where argv points.
void wipe_argument(char* argument) noexcept {
    secure_wipe(argument, std::strlen(argument));
}

}  // namespace platform
