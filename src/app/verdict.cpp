#include "app/verdict.h"

#include "app/command_line.h"
#include "document/reasons.h"

namespace {

std::string read_verdict(const DocumentReport& report) {
    if (report.check_hash_matches) {
        return "check hash matches: the password is right and the document is intact";
    }
    switch (report.padding) {
        case Padding::well_formed:
            return "check hash differs, but the padding decrypts correctly: the password is "
                   "right; the document or its stored hash is damaged";
        case Padding::malformed:
            return "check hash differs and the padding does not decrypt: most likely a wrong "
                   "password";
        case Padding::absent:
            break;
    }
    return "check hash differs: a wrong password or a damaged document";
}

}  // namespace

std::string verdict_line(const DocumentReport& report) {
    return report.no_document == NoDocument::none ? read_verdict(report)
                                                  : "no document: " + describe_no_document(report);
}

int check_status(const DocumentReport& report) noexcept {
    if (report.no_document != NoDocument::none) {
        return exit_no_document;
    }
    return report.check_hash_matches ? exit_completed : exit_hash_differs;
}
