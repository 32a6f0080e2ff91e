#include <windows.h>

#include <cstring>

#include "platform/check.h"
#include "platform/stream.h"
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

namespace {

// The prompt that is open, as the console's control handler needs it.
HANDLE console_input = INVALID_HANDLE_VALUE;
HANDLE console_output = INVALID_HANDLE_VALUE;
DWORD shown_mode = 0;

HANDLE open_console(const char* name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

void write_text(const char* text) {
    DWORD written = 0;
    WriteFile(console_output, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// Ctrl-C, Ctrl-Break, a closed console: echo back on, then the default handler ends the process.
BOOL WINAPI on_console_event(DWORD) {
    SetConsoleMode(console_input, shown_mode);
    return FALSE;
}

}  // namespace

TerminalPrompt::TerminalPrompt(const char* prompt, bool) {
    NOTEDIAG_ASSERT(console_input == INVALID_HANDLE_VALUE);
    const HANDLE input = open_console("CONIN$");
    if (input == INVALID_HANDLE_VALUE) {
        return;
    }
    if (!GetConsoleMode(input, &shown_mode)) {
        CloseHandle(input);
        return;
    }
    console_input = input;
    console_output = open_console("CONOUT$");
    SetConsoleCtrlHandler(on_console_event, TRUE);
    SetConsoleMode(input, (shown_mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) &
                              ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    write_text(prompt);
    asked_ = true;
}

TerminalPrompt::~TerminalPrompt() {
    if (!asked_) {
        return;
    }
    SetConsoleMode(console_input, shown_mode);
    write_text("\r\n");
    SetConsoleCtrlHandler(on_console_event, FALSE);
    if (console_output != INVALID_HANDLE_VALUE) {
        CloseHandle(console_output);
    }
    CloseHandle(console_input);
    console_input = console_output = INVALID_HANDLE_VALUE;
}

std::ptrdiff_t TerminalPrompt::read(void* buffer, std::size_t size, int& error) noexcept {
    return read_handle(console_input, buffer, size, error);
}

}  // namespace platform
