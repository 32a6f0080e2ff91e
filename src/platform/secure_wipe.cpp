#include "platform/secure_wipe.h"

#ifdef _WIN32
#include <windows.h>  // SecureZeroMemory
#else
#include <string.h>  // explicit_bzero (glibc, BSD)
#endif

namespace platform {

void secure_wipe(void* data, std::size_t length) noexcept {
    if (length != 0) {
#ifdef _WIN32
        SecureZeroMemory(data, length);
#else
        explicit_bzero(data, length);
#endif
    }
}

}  // namespace platform
