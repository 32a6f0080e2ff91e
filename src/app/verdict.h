// The conclusion of a completed run, in words on standard error and in the exit status, drawn
// from what the load found.
#pragma once

#include <string>

#include "document/findings.h"

// Exit statuses. Without --check every completed run ends with exit_completed.
inline constexpr int exit_completed = 0;
inline constexpr int exit_failure = 1;  // cannot open, out of memory, write error
inline constexpr int exit_usage = 2;
inline constexpr int exit_hash_differs = 3;  // --check: a document was read, its hash differs
inline constexpr int exit_no_document = 4;   // --check: no document could be read

// The verdict line, "notediag: ..." without its newline: how the check hash came out, or
// "no document: " and the one reason.
std::string verdict_line(const LoadFindings& findings);

// The exit status under --check: exit_completed only when the check hash matches.
int check_status(const LoadFindings& findings) noexcept;
