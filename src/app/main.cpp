// notediag [OPTION]... PATH [PASSWORD]: finds the encrypted note in PATH, decrypts it with the
// password and prints every stage, so a developer sees where a document or a password goes wrong;
// then says on standard error what it found.
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "app/command_line.h"
#include "app/load_document.h"
#include "app/password.h"
#include "app/transcript.h"
#include "app/verdict.h"
#include "crypto/aes/aes.h"
#include "file/File.h"
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
    std::fprintf(stderr, "notediag: write error: %s\n", std::strerror(transcript::first_error()));
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

    LoadFindings findings;
    std::unique_ptr<Document> document = load_document(command.path, key, findings);
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
        std::fprintf(stderr, "%s\n", verdict_line(findings).c_str());
    }
    return command.check ? check_status(findings) : exit_completed;
}

}  // namespace

int main(int argc, char** argv) {
    // First of all: argv already holds the password.
    platform::keep_memory_private();
    platform::use_binary_standard_streams();
    const CommandLine command = parse_command_line(argc, argv);
    switch (command.action) {
        case CommandLine::Action::usage_error:
            std::fprintf(stderr, "%s\n%s\n", command.error.c_str(), try_line);
            return exit_usage;
        case CommandLine::Action::help:
            transcript::format("%s", help_text());
            return output_went_out() ? exit_completed : exit_failure;
        case CommandLine::Action::version:
            transcript::format("notediag %s\n", NOTEDIAG_VERSION);
            return output_went_out() ? exit_completed : exit_failure;
        case CommandLine::Action::run:
            break;
    }

    try {
        return run(command);
    } catch (const file::FileError&) {
        transcript::finish();
        const int error = file::last_open_error();
        std::fprintf(stderr, "notediag: cannot open '%s'%s%s\n",
                     platform::escape_control_bytes(command.path).c_str(), error != 0 ? ": " : "",
                     error != 0 ? file::describe_open_error(error) : "");
    } catch (const std::bad_alloc&) {
        transcript::finish();
        std::fprintf(stderr, "notediag: out of memory\n");
    } catch (const std::exception& failure) {
        transcript::finish();
        std::fprintf(stderr, "notediag: %s\n", failure.what());
    }
    return exit_failure;
}
