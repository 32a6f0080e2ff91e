// Files the tool must refuse or see through, each with what a run must make of it. One table feeds
// the command-line test (every entry, with and without --check), the seed corpus of the
// load_document fuzzer (notediag_seed_corpus writes it; a test checks the committed corpus is this
// table) and the memcheck stage, which runs the tool on every seed.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct HostileFile {
    std::string name;      // the test case's name
    std::string seed;      // the seed corpus file's name
    std::string password;  // no zero byte or newline, so it can be a command-line argument
    std::string bytes;     // the file
    // The run's verdict on standard error, without "notediag: " and the newline.
    std::string verdict;
    // Whether the run reads a document (its text ends the transcript) or ends with "error loading".
    bool document;
    // The exit status under --check (without it every completed run ends with 0).
    int check_status;
    // The whole transcript on standard output, where the table predicts it (empty: not predicted).
    std::string transcript;
    // The lines after the verdict (evidence, damage, hints), each without "notediag: ".
    std::vector<std::string> details = {};
};

const std::vector<HostileFile>& hostile_files();

// A seed as the fuzzer reads it: one byte giving the password length, the password, then the file.
std::string seed_bytes(const HostileFile& file);

}  // namespace testsupport
