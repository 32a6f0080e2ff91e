// notediag [OPTION]... PATH [PASSWORD]: finds the encrypted note in PATH, decrypts it with the
// password and prints every stage, so a developer sees where a document or a password goes wrong;
// then says on standard error what it found.
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "app/command_line.h"
#include "app/load_document.h"
#include "app/messages.h"
#include "app/password.h"
#include "app/transcript_observer.h"
#include "app/verdict.h"
#include "crypto/aes/aes.h"
#include "file/File.h"
#include "output/transcript.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "secure/Plaintext.h"

namespace {

// Prints a text bounded by its size: its bytes up to the first zero byte, then a newline.
void print_text(const Plaintext& text) {
    const auto* bytes = text.data();
    std::size_t length = text.size();
    if (const void* zero = length != 0 ? std::memchr(bytes, 0, length) : nullptr) {
        length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes);
    }
    transcript::untrusted(bytes, length);
    transcript::line("");
}

// Ends a run whose standard output is complete: a failed write is the run's one failure.
bool output_went_out() {
    if (transcript::finish()) {
        return true;
    }
    messages::sayf("write error: %s", platform::error_text(transcript::first_error()));
    return false;
}

int run(const CommandLine& command) {
    aes_tables_init();
    // A note is untrusted input: on a terminal its control bytes must not act.
    transcript::escape_untrusted(platform::is_terminal(platform::StandardStream::output));
    Plaintext key;
    if (const int failure = take_password(command, key); failure != 0) {
        return failure;
    }
    // From the key buffer: the argument's own bytes are gone by now.
    transcript::format("key <");
    transcript::untrusted(key.data(), key.size());
    transcript::format(">, %d/%d\n", static_cast<int>(key.size()), static_cast<int>(key.size()));

    TranscriptObserver observer;
    DocumentReport report;
    std::unique_ptr<Document> document = load_document(command.path, key, observer, report);
    if (document) {
        print_text(document->text(0));
    } else {
        transcript::line("error loading :(");
    }
    // The text is wiped as soon as it has been shown, not kept alive through the verdict.
    document.reset();

    // Flushed first, so the verdict comes after the last line when both streams share a terminal.
    if (!output_went_out()) {
        return exit_failure;
    }
    if (!command.quiet) {
        messages::say(verdict_line(report));
    }
    return command.check ? check_status(report) : exit_completed;
}

// What could not be done with the input, in the words of the operation that failed.
void report_file_failure(const char* path) {
    const file::Failure failure = file::last_failure();
    const char* what = failure.operation == file::Operation::open   ? "cannot open"
                       : failure.operation == file::Operation::read ? "cannot read"
                                                                    : "cannot keep a copy of";
    const std::string shown = platform::escape_control_bytes(path);
    if (failure.error == 0) {
        messages::sayf("%s '%s'", what, shown.c_str());
    } else {
        messages::sayf("%s '%s': %s", what, shown.c_str(), file::describe_error(failure.error));
    }
}

int run_guarded(const CommandLine& command) {
    try {
        return run(command);
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
