// The conclusion of a completed run, in words on standard error and in the exit status, drawn
// from what the load reported.
#pragma once

#include <string>

#include "document/report.h"

// The verdict, without "notediag: " and the newline: how the check hash came out, or
// "no document: " and the one reason.
std::string verdict_line(const DocumentReport& report);

// The exit status under --check: exit_completed only when the check hash matches.
int check_status(const DocumentReport& report) noexcept;
