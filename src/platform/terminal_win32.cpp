#include <windows.h>

#include "platform/terminal.h"

namespace platform {

// The runtime's _isatty also answers yes for NUL and other character devices; only a console
// has a console mode.
bool is_terminal(StandardStream stream) noexcept {
    const DWORD which = stream == StandardStream::input    ? STD_INPUT_HANDLE
                        : stream == StandardStream::output ? STD_OUTPUT_HANDLE
                                                           : STD_ERROR_HANDLE;
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace platform
