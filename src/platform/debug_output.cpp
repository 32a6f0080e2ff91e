#include "platform/debug_output.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#include <cstdlib>
#endif

namespace platform {
namespace {

#ifdef _WIN32
// A debugger, or a viewer of the debugger output, shows the text; without one it goes nowhere.
void default_sink(const char* text) {
    OutputDebugStringA(text);
}
#else
void default_sink(const char* text) {
    const char* enabled = std::getenv("NOTEDIAG_DEBUG");
    if (enabled != nullptr && enabled[0] != '\0') {
        std::fprintf(stderr, "%s\n", text);
    }
}
#endif

DebugSink current_sink = default_sink;

}  // namespace

void debug_output(const char* text) noexcept {
    current_sink(text);
}

DebugSink set_debug_sink(DebugSink sink) noexcept {
    DebugSink previous = current_sink;
    current_sink = sink != nullptr ? sink : default_sink;
    return previous;
}

}  // namespace platform
