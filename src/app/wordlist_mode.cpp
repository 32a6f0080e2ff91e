// --wordlist=LIST NOTE: which line of LIST is NOTE's password. Every line is tried (--variants: in
// its other spellings too) on every processor; the first line of the list that the check hash
// confirms is the answer, whatever the thread count. The password itself is never printed: the
// list is the user's, and the line number is enough.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/load_document.h"
#include "app/messages.h"
#include "app/modes.h"
#include "app/report_json.h"
#include "app/verdict.h"
#include "candidates/find_password.h"
#include "document/format.h"
#include "file/input.h"
#include "output/json_writer.h"
#include "output/transcript.h"
#include "platform/escape.h"
#include "platform/stream.h"
#include "verdict/password_variants.h"
#include "verdict/text_evidence.h"
#include "verdict/verdict.h"

namespace {

// The verdict's spellings of a candidate, built in a scratch buffer of each searching thread.
void variants_of(const std::uint8_t* bytes, std::size_t size, const candidates::VariantSink& emit) {
    thread_local Plaintext scratch;
    const verdict::VariantUse use = [](void* sink, const verdict::VariantName& name,
                                       const std::uint8_t* variant, std::size_t length) {
        (*static_cast<const candidates::VariantSink*>(sink))(name.name, variant, length);
        return false;
    };
    verdict::for_each_password_variant(bytes, size, use,
                                       const_cast<candidates::VariantSink*>(&emit), scratch);
}

// The note's ciphertext, read whole: the search tries it many times over.
bool read_ciphertext(File& file, const DocumentReport& report, std::vector<std::uint8_t>& out) {
    out.resize(report.header.cipher_len);
    return file.seek(static_cast<std::int32_t>(report.extent.start + header_v2_size)) &&
           file.read(out.data(), out.size());
}

}  // namespace

int run_wordlist(const CommandLine& command) {
    const bool list_on_input = std::string_view(command.wordlist) == "-";
    file::Input input = file::open_input(command.path);
    StructureObserver structure;
    const Placement placement{command.offset, command.length};
    if (const std::string error = placement_error(placement, input.file->size64());
        !error.empty()) {
        return messages::usage_failure(error);
    }
    DocumentReport report;
    load_document(input, Plaintext(), structure, report, placement);
    if (report.no_document != NoDocument::none) {
        if (!command.quiet) {
            verdict::Verdict found;
            verdict::find_signatures_elsewhere(*input.file, report, found);
            say_verdict(report, found);
        }
        return exit_no_document;
    }
    std::vector<std::uint8_t> ciphertext;
    if (!read_ciphertext(*input.file, report, ciphertext)) {
        messages::say("cannot read the note's ciphertext: the input changed");
        return exit_failure;
    }

    platform::NativeHandle list = platform::standard_input();
    int error = 0;
    if (!list_on_input && !platform::open_stream(command.wordlist, list, error)) {
        messages::sayf("cannot open '%s': %s", platform::shown_in_message(command.wordlist).c_str(),
                       platform::error_text(error));
        return exit_failure;
    }
    std::error_code size_error;
    const std::uint64_t list_size =
        list_on_input ? 0 : std::filesystem::file_size(command.wordlist, size_error);
    // Candidates tried, the rate, the share of the list read.
    messages::ProgressLine progress;
    const std::uint64_t known_size = size_error ? 0 : list_size;

    candidates::NoteForTrial note{};
    std::copy(report.header.iv, report.header.iv + 16, note.iv);
    std::copy(report.header.wanted_hash, report.header.wanted_hash + 32, note.wanted_hash);
    note.plain_len = report.header.plain_len;
    note.ciphertext = ciphertext;
    candidates::TrialOptions options;
    options.jobs =
        command.jobs != 0 ? command.jobs : std::max(1u, std::thread::hardware_concurrency());
    options.first_block_plausible = verdict::block_looks_like_text;
    if (command.variants) {
        options.variants = variants_of;
    }
    options.progress = [&progress, known_size](const candidates::TrialProgress& p) {
        if (!progress.due()) {
            return;
        }
        const double seconds = std::chrono::duration<double>(p.elapsed).count();
        char text[96];
        const int length =
            std::snprintf(text, sizeof text, "%" PRIu64 " candidates, %.0f a second", p.candidates,
                          seconds > 0 ? static_cast<double>(p.candidates) / seconds : 0.0);
        if (known_size != 0 && length > 0 && static_cast<std::size_t>(length) < sizeof text) {
            std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length),
                          ", %.0f%% of the list", 100.0 * p.bytes_read / known_size);
        }
        progress.show(text);
    };
    candidates::TrialResult result;
    try {
        result = candidates::find_password(list, note, options);
    } catch (...) {
        progress.clear();
        if (!list_on_input) {
            platform::close_handle(list);
        }
        throw;
    }
    progress.clear();
    if (!list_on_input) {
        platform::close_handle(list);
    }

    std::string shown_list = "standard input";
    if (!list_on_input) {
        shown_list = '\'';
        shown_list += platform::shown_in_message(command.wordlist);
        shown_list += '\'';
    }
    if (command.json) {
        std::string text;
        JsonWriter json(text);
        json.begin_object();
        json.key("schema").number(std::int64_t{json_schema});
        json.key("path").string(command.path);
        json.key("wordlist").string(command.wordlist);
        json.key("found").boolean(result.found);
        json.key("line");
        result.found ? json.number(result.line) : json.null();
        json.key("variant");
        result.variant != nullptr ? json.string(result.variant) : json.null();
        json.key("candidates").number(result.candidates);
        json.end_object();
        transcript::line(text);
    } else if (result.found) {
        transcript::format("line %" PRIu64 "%s%s\n", result.line,
                           result.variant != nullptr ? " as " : "",
                           result.variant != nullptr ? result.variant : "");
    }
    if (!output_went_out()) {
        return exit_failure;
    }
    if (!command.quiet) {
        if (result.found) {
            messages::sayf("the password is line %" PRIu64 " of %s%s%s", result.line,
                           shown_list.c_str(), result.variant != nullptr ? " as " : "",
                           result.variant != nullptr ? result.variant : "");
        } else {
            if (result.candidates == 1) {
                messages::say("the one candidate does not match");
            } else {
                messages::sayf("none of the %" PRIu64 " candidates matches", result.candidates);
            }
        }
        if (result.skipped_long != 0) {
            messages::sayf("%" PRIu64 " line%s longer than 1 MiB %s not tried", result.skipped_long,
                           result.skipped_long == 1 ? "" : "s",
                           result.skipped_long == 1 ? "was" : "were");
        }
    }
    return result.found ? exit_completed : exit_hash_differs;
}
