// --test FILE...: every operand a note (-r: directories searched), checked with one password. One
// line a note on standard output in operand order (--json: one report a line), a summary on
// standard error, and the worst case as the exit status. -j, --jobs: notes at once; each is read
// in bounded pieces, so memory does not follow the notes' sizes.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "app/load_document.h"
#include "app/messages.h"
#include "app/modes.h"
#include "app/password.h"
#include "app/report_json.h"
#include "document/reasons.h"
#include "file/input.h"
#include "output/json_writer.h"
#include "output/transcript.h"
#include "platform/escape.h"
#include "platform/terminal.h"
#include "verdict/verdict.h"

namespace {

enum class Outcome { intact, damaged, wrong_password, undecided, no_document, unreadable };
constexpr const char* outcome_words[] = {"intact",    "damaged",     "wrong password",
                                         "undecided", "no document", "unreadable"};
constexpr int outcome_count = 6;

struct Checked {
    Outcome outcome = Outcome::unreadable;
    std::string line;  // what standard output gets, without the newline
    std::uint64_t bytes = 0;
    bool done = false;
};

Outcome outcome_of(verdict::Conclusion conclusion) {
    switch (conclusion) {
        case verdict::Conclusion::intact:
            return Outcome::intact;
        case verdict::Conclusion::damaged:
            return Outcome::damaged;
        case verdict::Conclusion::wrong_password:
            return Outcome::wrong_password;
        case verdict::Conclusion::undecided:
            return Outcome::undecided;
        case verdict::Conclusion::no_document:
            break;
    }
    return Outcome::no_document;
}

std::string unreadable_json(const std::string& path, const std::string& error) {
    std::string text;
    JsonWriter json(text);
    json.begin_object();
    json.key("schema").number(std::int64_t{json_schema});
    json.key("path").string(path);
    json.key("verdict").string("unreadable");
    json.key("error").string(error);
    json.end_object();
    return text;
}

Checked check_note(const std::string& path, const Plaintext& key, bool json) {
    Checked result;
    const std::string shown = platform::shown_in_message(path);
    const auto unreadable = [&](const std::string& error) {
        result.outcome = Outcome::unreadable;
        result.line = json ? unreadable_json(path, error) : shown + ": unreadable (" + error + ")";
    };
    try {
        file::Input input = file::open_input(path.c_str());
        verdict::Witness witness;
        DocumentReport report;
        load_document(input, key, witness, report);
        const verdict::Verdict v = verdict::reach_verdict(report, witness, *input.file, key);
        result.outcome = outcome_of(v.conclusion);
        result.bytes = report.input_size;
        if (json) {
            result.line = report_json(path.c_str(), report, v);
        } else {
            result.line = shown + ": " + outcome_words[static_cast<int>(result.outcome)];
            if (result.outcome == Outcome::no_document) {
                result.line += " (" + describe_no_document(report) + ")";
            }
        }
    } catch (const file::FileError&) {
        const file::Failure failure = file::last_failure();
        unreadable(failure.error != 0 ? file::describe_error(failure.error) : "cannot be read");
    } catch (const std::bad_alloc&) {
        // One note too much for the memory left must not end the others' checks (nor, on a
        // worker thread, the process).
        unreadable("out of memory");
    } catch (const std::exception& failure) {
        unreadable(failure.what());
    }
    return result;
}

// The notes the operands name: a file as it is, a directory's files (with -r; sorted by name,
// depth first, links to directories not followed).
void gather(const std::string& operand, bool recursive, std::vector<std::string>& notes) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!recursive || operand == "-" || !fs::is_directory(fs::symlink_status(operand, error))) {
        notes.push_back(operand);
        return;
    }
    std::vector<std::string> entries;
    for (fs::directory_iterator it(operand, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path().string());
    }
    if (error) {
        notes.push_back(operand);  // read as a note, it says why it cannot be
        return;
    }
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries) {
        gather(entry, true, notes);
    }
}

}  // namespace

int run_test(const CommandLine& command) {
    Plaintext key;
    if (const int failure = take_password(command, key); failure != 0) {
        return failure;
    }
    std::vector<std::string> notes;
    for (const char* operand : command.notes) {
        gather(operand, command.recursive, notes);
    }
    const unsigned jobs = std::max(
        1u,
        std::min<unsigned>(command.jobs != 0 ? command.jobs : std::thread::hardware_concurrency(),
                           static_cast<unsigned>(notes.size())));

    std::vector<Checked> results(notes.size());
    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::condition_variable finished;
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < notes.size();) {
            Checked checked = check_note(notes[i], key, command.json);
            const std::lock_guard<std::mutex> hold(lock);
            results[i] = std::move(checked);
            results[i].done = true;
            finished.notify_one();
        }
    };
    // One job works here before anything is printed; more work beside the printing.
    std::vector<std::thread> workers;
    if (jobs == 1) {
        work();
    } else {
        for (unsigned j = 0; j < jobs; ++j) {
            workers.emplace_back(work);
        }
    }
    // The lines go out in operand order as soon as each is known; on a terminal a progress line
    // (notes done, bytes, rate) stands below them until the summary.
    messages::ProgressLine progress;
    const auto start = std::chrono::steady_clock::now();
    const bool live = platform::is_terminal(platform::StandardStream::output);
    std::uint64_t counts[outcome_count] = {};
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        Checked checked;
        {
            std::unique_lock<std::mutex> hold(lock);
            finished.wait(hold, [&] { return results[i].done; });
            checked = std::move(results[i]);
        }
        ++counts[static_cast<int>(checked.outcome)];
        bytes += checked.bytes;
        transcript::line(checked.line);
        if (live) {
            transcript::flush();
        }
        if (progress.due(i + 1 == results.size())) {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            char text[96];
            std::snprintf(text, sizeof text, "%zu of %zu notes, %.1f MB, %.1f MB/s", i + 1,
                          results.size(), bytes / 1e6, seconds > 0 ? bytes / 1e6 / seconds : 0.0);
            // What is printed goes first, so the progress line stays below it.
            transcript::flush();
            progress.show(text);
        }
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    transcript::flush();
    progress.clear();
    if (!output_went_out()) {
        return exit_failure;
    }
    if (!command.quiet) {
        std::string summary =
            std::to_string(notes.size()) + (notes.size() == 1 ? " note" : " notes");
        for (int o = 0; o < outcome_count; ++o) {
            summary += (o == 0 ? ": " : ", ") + std::to_string(counts[o]) + " " + outcome_words[o];
        }
        messages::say(summary);
    }
    if (counts[static_cast<int>(Outcome::unreadable)] != 0) {
        return exit_failure;
    }
    if (counts[static_cast<int>(Outcome::no_document)] != 0) {
        return exit_no_document;
    }
    const bool differs = counts[static_cast<int>(Outcome::damaged)] +
                             counts[static_cast<int>(Outcome::wrong_password)] +
                             counts[static_cast<int>(Outcome::undecided)] !=
                         0;
    return differs ? exit_hash_differs : exit_completed;
}
