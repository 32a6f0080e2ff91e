#include "app/verdict.h"

#include <cstdint>

namespace {

std::string read_verdict(const LoadFindings& findings) {
    if (findings.check_hash_matches) {
        return "check hash matches: the password is right and the document is intact";
    }
    switch (findings.padding) {
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

std::string signature_bytes(const std::uint8_t (&signature)[8]) {
    constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : signature) {
        text += text.empty() ? "" : " ";
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

std::string reason(const LoadFindings& f) {
    using std::to_string;
    switch (f.no_document) {
        case NoDocument::none:
            break;
        case NoDocument::file_too_short:
            return "the file is " + to_string(f.file_size) + " bytes, too short to hold one";
        case NoDocument::file_too_large:
            return "the file is " + to_string(f.file_size) +
                   " bytes; documents are found only in files under 2 GiB";
        case NoDocument::input_too_large:
            return "the input is more than 2 GiB; documents are found only in files under 2 GiB";
        case NoDocument::trailer_too_long:
            return "the trailer claims " + to_string(f.document_length) + " bytes, but only " +
                   to_string(f.available) + " lie in front of it";
        case NoDocument::document_too_short:
            return "the document is " + to_string(f.document_length) +
                   " bytes, too short for its 8-byte signature";
        case NoDocument::version_1:
            return "a version-1 document, which this tool cannot read";
        case NoDocument::unknown_signature:
            return "unknown signature " + signature_bytes(f.signature);
        case NoDocument::header_cut_off:
            return "the header is cut off: the document holds " + to_string(f.available) +
                   " of its 76 bytes";
        case NoDocument::ciphertext_past_end:
            return "the header claims " + to_string(f.cipher_len) +
                   " bytes of ciphertext, but only " + to_string(f.available) + " follow it";
        case NoDocument::ciphertext_not_whole_blocks:
            return "the ciphertext length " + to_string(f.cipher_len) + " is not a multiple of 16";
        case NoDocument::plaintext_too_long:
            return "the plaintext length " + to_string(f.plain_len) +
                   " exceeds the ciphertext length " + to_string(f.cipher_len);
    }
    return {};
}

}  // namespace

std::string verdict_line(const LoadFindings& findings) {
    return "notediag: " + (findings.no_document == NoDocument::none
                               ? read_verdict(findings)
                               : "no document: " + reason(findings));
}

int check_status(const LoadFindings& findings) noexcept {
    if (findings.no_document != NoDocument::none) {
        return exit_no_document;
    }
    return findings.check_hash_matches ? exit_completed : exit_hash_differs;
}
