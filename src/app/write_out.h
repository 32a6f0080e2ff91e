// What a run writes besides standard output: the located document's bytes (--extract) and the
// decrypted text (--output), each into a file that did not exist, written whole or not at all.
#pragma once

#include "app/command_line.h"
#include "document/report.h"
#include "file/File.h"
#include "secure/Plaintext.h"

// Refuses, before any work, a file to write that already exists. Returns 0, or after its message
// the exit status of the failure.
int check_new_files(const CommandLine& command);

// --extract: the bytes of the document `report` located in `input`, as they lie there. Returns 0,
// or after its message the exit status: no_document when nothing was located, failure when the
// file could not be written (it is then removed).
int extract_document(const char* to, File& input, const DocumentReport& report);

// --output: the decrypted text, whole (bytes after a zero byte too), read again from `input` in
// pieces and written into a file only its owner may read. Call it once the check hash matched,
// or with --force. Returns 0, or after its message exit_failure (the file is then removed).
int write_text(const char* to, File& input, const DocumentReport& report, const Plaintext& key);
