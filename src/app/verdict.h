// The verdict as standard error says it: the first line, then one line a fact (evidence, damage,
// hints); and the exit status that answers it under --check.
#pragma once

#include <string>
#include <vector>

#include "document/report.h"
#include "verdict/verdict.h"

// The first line, without "notediag: " and the newline.
std::string verdict_line(const DocumentReport& report, const verdict::Verdict& verdict);

// The first line and the lines after it ("evidence: ...", "damage: ...", "hint: ...") on
// standard error.
void say_verdict(const DocumentReport& report, const verdict::Verdict& verdict);

// The exit status under --check: exit_completed only when the check hash matches.
int check_status(const DocumentReport& report) noexcept;
