#include "app/password.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "app/messages.h"
#include "platform/escape.h"
#include "platform/process.h"
#include "platform/stream.h"
#include "platform/terminal.h"

namespace {

enum class Line { read, empty_input, too_long, failed };

// Reads through `read` (as platform::read_handle reads: the count, 0 at the end, -1 on failure with
// the error code in `error`) into `key` up to the first newline or the end. The bytes are read into
// the buffer's own room, which doubles as needed (each growth wipes the block it leaves); bytes
// read past the newline are wiped with the room left over. An input that ends before its first
// byte holds no password; an empty line is the empty one.
template <typename Read>
Line read_line(Plaintext& key, Read read, int& error) {
    // The longest password may still be followed by a carriage return and the newline.
    constexpr std::uint32_t most = longest_password + 2;
    key.clear();
    bool ended_by_newline = false;
    bool any = false;
    while (!ended_by_newline && key.size() < most) {
        const std::uint32_t kept = key.size();
        if (key.capacity() == kept) {
            key.reserve(std::min(most, std::max<std::uint32_t>(64, 2 * kept)));
        }
        key.resize(key.capacity());
        const std::ptrdiff_t got = read(key.data() + kept, key.size() - kept, error);
        key.resize(kept + static_cast<std::uint32_t>(std::max<std::ptrdiff_t>(got, 0)));
        if (got < 0) {
            key.clear();
            return Line::failed;
        }
        if (got == 0) {
            break;
        }
        any = true;
        const auto* const newline = static_cast<const std::uint8_t*>(
            std::memchr(key.data() + kept, '\n', static_cast<std::size_t>(got)));
        if (newline != nullptr) {
            key.resize(static_cast<std::uint32_t>(newline - key.data()));
            ended_by_newline = true;
        }
    }
    if (!any) {
        return Line::empty_input;
    }
    if (ended_by_newline && !key.empty() && key.data()[key.size() - 1] == '\r') {
        key.resize(key.size() - 1);
    }
    if (key.size() > longest_password) {
        key.clear();
        return Line::too_long;
    }
    return Line::read;
}

// The first line of an open handle.
Line read_handle_line(Plaintext& key, platform::NativeHandle handle, int& error) {
    return read_line(
        key,
        [handle](void* to, std::size_t n, int& e) {
            return platform::read_handle(handle, to, n, e);
        },
        error);
}

// Where a password line was read from, as messages name it.
std::string source_name(const CommandLine& command) {
    using Source = CommandLine::PasswordSource;
    switch (command.password_source) {
        case Source::file:
            return "in '" + platform::shown_in_message(command.password_file) + "'";
        case Source::descriptor:
            return "on descriptor " + std::to_string(command.password_fd);
        case Source::terminal:
            return "on the terminal";
        default:
            return "on standard input";
    }
}

}  // namespace

int take_password(const CommandLine& command, Plaintext& key) {
    using Source = CommandLine::PasswordSource;
    Line line = Line::read;
    int error = 0;
    switch (command.password_source) {
        case Source::none:
            return 0;
        case Source::argument:
            assign_c_string(key, command.password, false);
            platform::wipe_argument(command.password);
            return 0;
        case Source::standard_input:
            line = read_handle_line(key, platform::standard_input(), error);
            break;
        case Source::file: {
            platform::NativeHandle handle{};
            if (!platform::open_stream(command.password_file, handle, error)) {
                messages::sayf("cannot open '%s': %s",
                               platform::shown_in_message(command.password_file).c_str(),
                               platform::error_text(error));
                return exit_failure;
            }
            line = read_handle_line(key, handle, error);
            platform::close_handle(handle);
            break;
        }
        case Source::descriptor: {
            platform::NativeHandle handle{};
            if (!platform::descriptor_handle(command.password_fd, handle)) {
                messages::sayf("cannot read the password: descriptor %d is not open",
                               command.password_fd);
                return exit_failure;
            }
            line = read_handle_line(key, handle, error);
            break;
        }
        case Source::terminal: {
            // With the note on standard input only the terminal itself can be asked.
            const bool note_on_input = command.note_on_standard_input;
            platform::TerminalPrompt prompt("Password: ", !note_on_input);
            if (!prompt.asked()) {
                if (note_on_input) {
                    return messages::usage_failure(
                        "standard input cannot carry both the note and the password");
                }
                messages::say("cannot ask for the password: no terminal");
                return exit_failure;
            }
            line = read_line(
                key, [&prompt](void* to, std::size_t n, int& e) { return prompt.read(to, n, e); },
                error);
            break;
        }
    }
    switch (line) {
        case Line::read:
            return 0;
        case Line::empty_input:
            // A closed terminal (Ctrl-D at the prompt) and an empty input alike: a script whose
            // pipe broke must not run with the empty password.
            messages::say("no password " + source_name(command));
            return exit_usage;
        case Line::too_long:
            messages::say("password longer than 1 MiB");
            return exit_usage;
        case Line::failed:
            break;
    }
    messages::sayf("cannot read the password: %s", platform::error_text(error));
    return exit_failure;
}
