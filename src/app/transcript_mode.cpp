// PATH [PASSWORD]: the default run. The key line, the reader's stages as the transcript shows them
// (whole, --brief without the dumps, or --json instead of all of it), the text or "error loading
// :(", then the verdict on standard error.
#include <cstring>
#include <memory>

#include "app/load_document.h"
#include "app/messages.h"
#include "app/modes.h"
#include "app/password.h"
#include "app/report_json.h"
#include "app/transcript_observer.h"
#include "app/verdict.h"
#include "app/write_out.h"
#include "file/input.h"
#include "output/transcript.h"
#include "platform/escape.h"
#include "platform/stream.h"
#include "platform/terminal.h"
#include "secure/Plaintext.h"
#include "verdict/verdict.h"

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

// --extract and --output, after the verdict: the worst of their statuses, 0 when both went well.
int write_files(const CommandLine& command, File& input, const DocumentReport& report,
                const Plaintext& key) {
    int worst = 0;
    const auto keep_worst = [&worst](int status) {
        if (status == exit_failure || (worst != exit_failure && status > worst)) {
            worst = status;
        }
    };
    if (command.extract != nullptr) {
        keep_worst(extract_document(command.extract, input, report));
    }
    if (command.output == nullptr) {
        return worst;
    }
    const std::string shown = platform::shown_in_message(command.output);
    if (report.no_document != NoDocument::none) {
        messages::sayf("nothing written to '%s': there is no document", shown.c_str());
        keep_worst(exit_no_document);
    } else if (!report.check_hash_matches && !command.force) {
        messages::sayf(
            "nothing written to '%s': the check hash differs (--force writes the text "
            "anyway)",
            shown.c_str());
        keep_worst(exit_hash_differs);
    } else {
        keep_worst(write_text(command.output, input, report, key));
    }
    return worst;
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
    if (const int refused = check_new_files(command); refused != 0) {
        return refused;
    }
    transcript::escape_untrusted(escaping(command.escape));
    Plaintext key;
    if (const int failure = take_password(command, key); failure != 0) {
        return failure;
    }
    if (!command.json) {
        // From the key buffer: the argument's own bytes are gone by now.
        transcript::format("key <");
        transcript::untrusted(key.data(), key.size());
        transcript::format(">, %d/%d\n", static_cast<int>(key.size()),
                           static_cast<int>(key.size()));
    }
    file::Input input = file::open_input(command.path);
    const Placement placement{command.offset, command.length};
    if (const std::string error = placement_error(placement, input.file->size64());
        !error.empty()) {
        transcript::finish();
        return messages::usage_failure(error);
    }

    TranscriptObserver shown(command.brief, command.dump_limit);
    verdict::Witness witness;
    ReadObserver silent;
    TeeObserver observer(command.json ? silent : shown, witness);
    DocumentReport report;
    std::unique_ptr<Document> document = load_document(input, key, observer, report, placement);
    if (!command.json) {
        if (document) {
            print_text(document->text(0));
        } else if (report.no_document == NoDocument::none) {
            shown.end_text();
        } else {
            transcript::line("error loading :(");
        }
    }
    // The verdict judges the text where it lies, rather than decrypting it again; it is wiped
    // right after.
    const verdict::Verdict verdict = verdict::reach_verdict(
        report, witness, *input.file, key, document ? &document->text(0) : nullptr);
    document.reset();
    if (command.json) {
        transcript::line(report_json(command.path, report, verdict));
    }

    // Flushed first, so the verdict comes after the last line when both streams share a terminal.
    if (!output_went_out()) {
        return exit_failure;
    }
    if (!command.quiet) {
        say_verdict(report, verdict);
    }
    const int status = command.check ? check_status(report) : exit_completed;
    const int written = write_files(command, *input.file, report, key);
    return written != 0 ? written : status;
}
