#include <windows.h>

#include <cstring>
#include <cwchar>

#include "platform/process.h"
#include "platform/secure_wipe.h"

namespace platform {
namespace {

// Where the arguments begin in a raw command line: after the program name, which is quoted as a
// whole or ends at the first blank (it takes no backslash escapes).
template <typename Char>
Char* after_program_name(Char* line) {
    if (*line == '"') {
        ++line;
        while (*line != '\0' && *line != '"') {
            ++line;
        }
        return *line == '"' ? line + 1 : line;
    }
    while (*line != '\0' && *line != ' ' && *line != '\t') {
        ++line;
    }
    return line;
}

}  // namespace

// With SEM_NOGPFAULTERRORBOX a crash invokes no error reporting at all, so no dialog and no dump
// is taken of the process.
void keep_memory_private() noexcept {
    SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
                 SEM_NOOPENFILEERRORBOX);
}

// The runtime built argv from its own copy; process viewers read the command line the system
// keeps for the process (GetCommandLineW), and GetCommandLineA returns a copy of that.
void wipe_argument(char* argument) noexcept {
    secure_wipe(argument, std::strlen(argument));
    wchar_t* wide = after_program_name(GetCommandLineW());
    secure_wipe(wide, std::wcslen(wide) * sizeof(wchar_t));
    char* narrow = after_program_name(GetCommandLineA());
    secure_wipe(narrow, std::strlen(narrow));
}

}  // namespace platform
