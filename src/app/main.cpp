// notediag [OPTION]... PATH [PASSWORD]: finds the encrypted note in PATH, decrypts it with the
// password and prints every stage, so a developer sees where a document or a password goes wrong;
// then says on standard error what it found. The other modes (--info, --scan, --test,
// --wordlist) live beside it in src/app/modes.
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "app/messages.h"
#include "app/modes.h"
#include "crypto/aes/aes.h"
#include "file/File.h"
#include "output/transcript.h"
#include "platform/console.h"
#include "platform/escape.h"
#include "platform/process.h"
#include "platform/stream.h"
#include "platform/terminal.h"

namespace {

// What could not be done with an input, in the words of the operation that failed.
void report_file_failure(const char* path) {
    const file::Failure failure = file::last_failure();
    const char* what = failure.operation == file::Operation::open   ? "cannot open"
                       : failure.operation == file::Operation::read ? "cannot read"
                                                                    : "cannot keep a copy of";
    const std::string shown = platform::shown_in_message(path);
    if (failure.error == 0) {
        messages::sayf("%s '%s'", what, shown.c_str());
        return;
    }
    messages::sayf("%s '%s': %s", what, shown.c_str(), file::describe_error(failure.error));
#ifndef _WIN32
    // A writer's lock binds only programs that ask for it; standard input asks nothing.
    if (std::string(file::describe_error(failure.error)) == "locked by another program") {
        messages::sayf("hint: notediag - < '%s' reads the same bytes without waiting for the lock",
                       shown.c_str());
    }
#endif
}

// A note or a word list wanted from a terminal would wait for typing that never makes a note;
// every mode refuses it before asking for anything.
int refuse_terminal_input(const CommandLine& command) {
    const bool list = command.wordlist != nullptr && std::string_view(command.wordlist) == "-";
    if ((command.note_on_standard_input || list) &&
        platform::is_terminal(platform::StandardStream::input)) {
        return messages::usage_failure(
            "standard input is a terminal; give the note as a file or through a pipe");
    }
    return 0;
}

int run_mode(const CommandLine& command) {
    if (const int refused = refuse_terminal_input(command); refused != 0) {
        return refused;
    }
    switch (command.mode) {
        case CommandLine::Mode::transcript:
            return run_transcript(command);
        case CommandLine::Mode::info:
            return run_info(command);
        case CommandLine::Mode::scan:
            return run_scan(command);
        case CommandLine::Mode::test:
            return run_test(command);
        case CommandLine::Mode::wordlist:
            return run_wordlist(command);
    }
    return exit_failure;
}

int run_guarded(const CommandLine& command) {
    try {
        return run_mode(command);
    } catch (const file::FileError&) {
        transcript::finish();
        report_file_failure(command.path);
    } catch (const std::bad_alloc&) {
        transcript::finish();
        messages::say("out of memory");
    } catch (const std::exception& failure) {
        transcript::finish();
        messages::say(failure.what());
    }
    return exit_failure;
}

int dispatch(int argc, char** argv) {
    const CommandLine command = parse_command_line(argc, argv);
    switch (command.action) {
        case CommandLine::Action::usage_error:
            return messages::usage_failure(command.error);
        case CommandLine::Action::help:
            transcript::format("%s", help_text().c_str());
            return output_went_out() ? exit_completed : exit_failure;
        case CommandLine::Action::version:
            transcript::format("notediag %s\n", NOTEDIAG_VERSION);
            return output_went_out() ? exit_completed : exit_failure;
        case CommandLine::Action::run:
            break;
    }
    aes_tables_init();
    return run_guarded(command);
}

}  // namespace

int main(int argc, char** argv) {
    // First of all: argv already holds the password.
    platform::keep_memory_private();
    platform::use_binary_standard_streams();
    const int status = dispatch(argc, argv);
    // A message that could not be written is an answer lost, as a transcript would be.
    return messages::all_went_out() ? status : exit_failure;
}
