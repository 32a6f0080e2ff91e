// The debugger output channel: a side channel for developer traces that never reaches standard
// output, so the tool's transcript stays exact.
#pragma once

namespace platform {

using DebugSink = void (*)(const char* text);

// Hands `text` to the current sink. The default sink writes it, followed by a newline, to standard
// error when the environment variable NOTEDIAG_DEBUG is set to a non-empty value, and drops it
// otherwise; on Windows it hands it to the debugger output (OutputDebugStringA) instead.
void debug_output(const char* text) noexcept;

// Installs `sink` (null restores the default) and returns the sink it replaces. Tests use this to
// observe the channel.
DebugSink set_debug_sink(DebugSink sink) noexcept;

}  // namespace platform
