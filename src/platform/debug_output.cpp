#include "platform/debug_output.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

void default_sink(const char* text) {
    const char* enabled = std::getenv("NOTEDIAG_DEBUG");
    if (enabled != nullptr && enabled[0] != '\0') {
        std::fprintf(stderr, "%s\n", text);
    }
}

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
