// The verdict as standard error says it: the first line, then one line a fact (evidence, damage,
// hints); and the exit status that answers it under --check.
#pragma once

#include <string>
#include <vector>

#include "document/report.h"
#include "verdict/verdict.h"

// The first line, without "notediag: " and the newline.
std::string verdict_line(const DocumentReport& report, const verdict::Verdict& verdict);

// The lines after it, each without "notediag: ": "evidence: ...", "damage: ...", "hint: ...".
std::vector<std::string> detail_lines(const DocumentReport& report,
                                      const verdict::Verdict& verdict);

// How `hint` names what made the check hash match ("the password as Windows-1252 bytes").
std::string hint_phrase(const verdict::Hint& hint);

// The exit status under --check: exit_completed only when the check hash matches.
int check_status(const DocumentReport& report) noexcept;
