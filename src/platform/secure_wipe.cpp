#include "platform/secure_wipe.h"

#include <string.h>  // explicit_bzero (glibc, BSD)

namespace platform {

void secure_wipe(void* data, std::size_t length) noexcept {
    if (length != 0) {
        explicit_bzero(data, length);
    }
}

}  // namespace platform
