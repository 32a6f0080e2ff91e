// PATH [PASSWORD]: the default run. The key line, the reader's stages as the transcript shows them,
// the text or "error loading :(", then the verdict on standard error.
#include <cstring>
#include <memory>

#include "app/load_document.h"
#include "app/messages.h"
#include "app/modes.h"
#include "app/password.h"
#include "app/transcript_observer.h"
#include "app/verdict.h"
#include "output/transcript.h"
#include "platform/stream.h"
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

bool escaping(CommandLine::Escape escape) {
    switch (escape) {
        case CommandLine::Escape::always:
            return true;
        case CommandLine::Escape::never:
            return false;
        case CommandLine::Escape::automatic:
            break;
    }
    // A note is untrusted input: on a terminal its control bytes must not act.
    return platform::is_terminal(platform::StandardStream::output);
}

}  // namespace

bool output_went_out() {
    if (transcript::finish()) {
        return true;
    }
    messages::sayf("write error: %s", platform::error_text(transcript::first_error()));
    return false;
}

int run_transcript(const CommandLine& command) {
    if (command.note_on_standard_input && platform::is_terminal(platform::StandardStream::input)) {
        return messages::usage_failure(
            "standard input is a terminal; give the note as a file or through a pipe");
    }
    transcript::escape_untrusted(escaping(command.escape));
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
