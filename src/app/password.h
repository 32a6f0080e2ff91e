// The password: taken from where the command line says into the key buffer, and kept nowhere
// else in the process.
#pragma once

#include <cstdint>

#include "app/command_line.h"
#include "secure/Plaintext.h"

// The longest password read from the terminal or standard input.
inline constexpr std::uint32_t longest_password = std::uint32_t{1} << 20;

// Fills `key` with the password. The PASSWORD operand is copied and its bytes in the process are
// then overwritten; a line from the terminal or standard input (up to its newline or its end, the
// newline and a carriage return right before it left out) goes from the system's read call
// straight into `key`. Returns 0, or after writing its one message on standard error the exit
// status of the failure.
int take_password(const CommandLine& command, Plaintext& key);
