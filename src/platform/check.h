// Assertions that stay active in every build type.
//
// The standard assert() vanishes under NDEBUG; the checks here guard byte counts handed to 32-bit
// interfaces, the preconditions of the dump and the buffers, and the tables the tool is built on,
// and the shipped tool must keep them. The report format is the tool's own and stable.
#pragma once

namespace platform {

// Writes "Assertion failed: EXPR, file FILE, line LINE" to standard error and aborts.
[[noreturn]] void assertion_failed(const char* expression, const char* file, int line) noexcept;

}  // namespace platform

#define NOTEDIAG_ASSERT(expression)      \
    ((expression) ? static_cast<void>(0) \
                  : ::platform::assertion_failed(#expression, __FILE__, __LINE__))
