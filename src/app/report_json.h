// The JSON report (--json): what a load found and what the verdict says, as one object a script
// can read. It never holds the password, the text or any plaintext byte, so it can be shared.
// The schema is versioned ("schema": 1) and documented in the manual page and the README.
#pragma once

#include <string>

#include "document/report.h"
#include "output/json_writer.h"
#include "verdict/verdict.h"

inline constexpr int json_schema = 1;

// The members every report shares, needing no key: "schema", "path", "input_size", "trailer",
// "document", "header", "reason". Written into an object the caller has begun.
void write_found_members(JsonWriter& json, const char* path, const DocumentReport& report);

// "hints": the verdict's hints, in an object the caller has begun.
void write_hints(JsonWriter& json, const verdict::Verdict& verdict);

// The whole report of a run that read `path` with a password, one line without its newline.
std::string report_json(const char* path, const DocumentReport& report,
                        const verdict::Verdict& verdict);
