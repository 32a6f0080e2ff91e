// The tool's modes, one entry point each; main picks one by the command line. Each returns the
// run's exit status after writing its own output and messages.
#pragma once

#include "app/command_line.h"

// PATH [PASSWORD]: the transcript (or --json, --brief), the text, the verdict.
int run_transcript(const CommandLine& command);
// --info PATH: the structure, without the password.
int run_info(const CommandLine& command);
// --scan PATH: every signature in the input.
int run_scan(const CommandLine& command);
// --test FILE...: one verdict line per note and a summary.
int run_test(const CommandLine& command);
// --wordlist=LIST NOTE: the line of LIST that is the password.
int run_wordlist(const CommandLine& command);

// Ends a run whose standard output is complete: flushed, and a failed write reported as the run's
// one failure. False when it failed.
bool output_went_out();
