#include "app/verdict.h"

#include <cstring>

#include "app/command_line.h"
#include "app/messages.h"
#include "document/format.h"
#include "document/reasons.h"

namespace {

using verdict::Conclusion;
using verdict::DamagedPart;
using verdict::Hint;

struct Named {
    const char* code;
    const char* words;
};

// How the encodings and spellings a hint names read in a sentence.
constexpr Named encodings[] = {
    {"windows-1252", "as Windows-1252 bytes"},
    {"iso-8859-1", "as ISO-8859-1 bytes"},
    {"ibm437", "as IBM437 bytes"},
    {"ibm850", "as IBM850 bytes"},
    {"mac-roman", "as Mac Roman bytes"},
    {"utf-16le", "as UTF-16LE bytes"},
    {"utf-8", "as UTF-8 bytes"},
    {"nfc", "in composed form (NFC)"},
    {"nfd", "in decomposed form (NFD)"},
};
constexpr Named variants[] = {
    {"trailing-lf", "followed by a line feed"},
    {"trailing-crlf", "followed by CR LF"},
    {"trailing-space", "followed by a space"},
    {"trimmed", "without its trailing white space"},
    {"caps-lock", "with the case of every letter inverted (Caps Lock)"},
    {"lower-case", "in lower case"},
    {"upper-case", "in upper case"},
};
constexpr Named code_pages[] = {
    {"windows-1252", "Windows-1252"}, {"ibm437", "IBM437"},       {"ibm850", "IBM850"},
    {"iso-8859-1", "ISO-8859-1"},     {"mac-roman", "Mac Roman"},
};

template <std::size_t N>
std::string words_for(const Named (&table)[N], const char* code) {
    for (const Named& entry : table) {
        if (code != nullptr && std::strcmp(entry.code, code) == 0) {
            return entry.words;
        }
    }
    return code != nullptr ? code : "";
}

// "document bytes A to B" of ciphertext blocks `first` .. `first + count - 1`.
std::string block_place(std::uint32_t first, std::uint32_t count) {
    const std::uint64_t start = header_v2_size + std::uint64_t{16} * first;
    const std::uint64_t end = start + std::uint64_t{16} * count - 1;
    return "(document bytes " + std::to_string(start) + " to " + std::to_string(end) + ")";
}

std::string damage_line(const DamagedPart& part) {
    switch (part.part) {
        case DamagedPart::Part::ciphertext:
            return part.block_count == 1
                       ? "damage: ciphertext block " + std::to_string(part.first_block) + " " +
                             block_place(part.first_block, 1)
                       : "damage: ciphertext blocks " + std::to_string(part.first_block) + " to " +
                             std::to_string(part.first_block + part.block_count - 1) + " " +
                             block_place(part.first_block, part.block_count);
        case DamagedPart::Part::stored_hash_or_iv:
            return "damage: none in the text; the stored hash or the IV is the likely damage";
        case DamagedPart::Part::plain_len:
            break;
    }
    return "damage: the header's plaintext length (document bytes " +
           std::to_string(header_v2::plain_len) + " to " + std::to_string(header_v2::flags - 1) +
           ")";
}

// How `hint` names what made the check hash match ("the password as Windows-1252 bytes").
std::string hint_phrase(const Hint& hint) {
    switch (hint.kind) {
        case Hint::Kind::plain_len:
            return "the plaintext length " + std::to_string(hint.value);
        case Hint::Kind::password_encoding: {
            std::string phrase = "the password " + words_for(encodings, hint.name);
            if (hint.from != nullptr) {
                phrase += " (its bytes read as " + words_for(code_pages, hint.from) + ")";
            }
            return phrase;
        }
        case Hint::Kind::password_variant:
            return "the password " + words_for(variants, hint.name);
        case Hint::Kind::signature_at:
            break;
    }
    return "";
}

// The lines after the first, each without "notediag: ".
std::vector<std::string> detail_lines(const verdict::Verdict& verdict) {
    std::vector<std::string> lines;
    if (!verdict.evidence.empty()) {
        lines.push_back("evidence: " + verdict.evidence);
    }
    for (const DamagedPart& part : verdict.damage) {
        lines.push_back(damage_line(part));
    }
    if (verdict.unlisted_damage_runs != 0) {
        lines.push_back("damage: " + std::to_string(verdict.unlisted_damage_runs) +
                        " more stretches of blocks that do not read as text");
    }
    std::uint64_t signatures = verdict.unlisted_signatures;
    for (const Hint& hint : verdict.hints) {
        if (hint.kind != Hint::Kind::signature_at) {
            lines.push_back("hint: the check hash matches with " + hint_phrase(hint));
            continue;
        }
        ++signatures;
        const std::string offset = std::to_string(hint.value);
        lines.push_back("hint: a version-" + std::to_string(hint.version) +
                        " signature lies at offset " + offset +
                        (hint.version == 2 ? "; try --offset=" + offset : std::string()));
    }
    if (verdict.unlisted_signatures != 0) {
        lines.push_back("hint: " + std::to_string(verdict.unlisted_signatures) +
                        " more signatures lie in the input");
    }
    if (signatures > 1) {
        lines.push_back("hint: --scan lists every signature in the input with its structure");
    }
    return lines;
}

}  // namespace

std::string verdict_line(const DocumentReport& report, const verdict::Verdict& verdict) {
    switch (verdict.conclusion) {
        case Conclusion::intact:
            return "check hash matches: the password is right and the document is intact";
        case Conclusion::damaged:
            return "check hash differs: the password is right; the document or its stored hash "
                   "is damaged";
        case Conclusion::wrong_password:
            return "check hash differs: a wrong password";
        case Conclusion::undecided:
            return "check hash differs: a wrong password or a damaged document";
        case Conclusion::no_document:
            break;
    }
    return "no document: " + describe_no_document(report);
}

void say_verdict(const DocumentReport& report, const verdict::Verdict& verdict) {
    messages::say(verdict_line(report, verdict));
    for (const std::string& line : detail_lines(verdict)) {
        messages::say(line);
    }
}

int check_status(const DocumentReport& report) noexcept {
    if (report.no_document != NoDocument::none) {
        return exit_no_document;
    }
    return report.check_hash_matches ? exit_completed : exit_hash_differs;
}
