// Every reason a load yields no document, in one table: its stable code for machine-readable
// output, its whoops line on standard output (where the reader prints one) and its wording, whose
// capital-letter words stand for numbers from the report. The reader, the verdict, the help text
// and the manual page take their words from here; a test holds the help and the manual to it.
#pragma once

#include <span>
#include <string>

#include "document/report.h"

struct NoDocumentReason {
    NoDocument reason;
    const char* code;  // lower case with hyphens, stable across versions
    // The line the transcript shows for it, without "whoops, "; null when there is none. The
    // second form is for a document carried in front of a trailer.
    const char* whoops;
    const char* whoops_behind_trailer;
    // The words after "no document: ". Each one-letter capital word is a placeholder: N, L, M,
    // C, P for numbers, S for the signature's bytes in hex.
    const char* wording;
};

// Every reason but NoDocument::none, in the order of the enumeration.
std::span<const NoDocumentReason> no_document_reasons() noexcept;
const NoDocumentReason& no_document_reason(NoDocument reason) noexcept;

// The reason's whoops line as the transcript prints it ("whoops, ..."), or empty.
std::string whoops_line(NoDocument reason, bool behind_trailer);

// The wording of `report.no_document` with its numbers filled in; empty for NoDocument::none.
std::string describe_no_document(const DocumentReport& report);
