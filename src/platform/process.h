// Process matters for a tool that holds a password and a decrypted text: keeping them out of core
// files and out of the list of processes.
#pragma once

namespace platform {

// Turns core dumps off for this process, so that neither a crash nor the fail-fast stop leaves a
// file holding its memory; on Linux the process also becomes undumpable, which keeps other
// processes of the same user from reading its memory through ptrace or /proc/PID/mem. On Windows
// the error-reporting dialog, and the report and dump it would take, are off. Call it before a
// secret is read or copied.
void keep_memory_private() noexcept;

// Overwrites the bytes of `argument`, one of main's argv strings, with zeros, so that the list of
// processes (/proc/PID/cmdline, ps) no longer shows them. On Windows, where other programs read
// the process's own copy of its command line, that copy loses everything after the program name.
void wipe_argument(char* argument) noexcept;

}  // namespace platform
