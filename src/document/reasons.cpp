#include "document/reasons.h"

#include <cctype>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "platform/check.h"
#include "platform/hex_digits.h"

namespace {

// clang-format off
constexpr NoDocumentReason reasons[] = {
    {NoDocument::file_too_short, "file-too-short", nullptr, nullptr,
     "the file is N bytes, too short to hold one"},
    {NoDocument::file_too_large, "file-too-large", nullptr, nullptr,
     "the file is N bytes; documents are found only in files under 2 GiB"},
    {NoDocument::input_too_large, "input-too-large", nullptr, nullptr,
     "the input is more than 2 GiB; documents are found only in files under 2 GiB"},
    {NoDocument::trailer_too_long, "trailer-too-long", nullptr, nullptr,
     "the trailer claims L bytes, but only M lie in front of it"},
    {NoDocument::document_too_short, "document-too-short", nullptr, nullptr,
     "the document is L bytes, too short for its 8-byte signature"},
    {NoDocument::version_1, "version-1", nullptr, nullptr,
     "a version-1 document, which this tool cannot read"},
    {NoDocument::unknown_signature, "unknown-signature", nullptr, nullptr,
     "unknown signature S"},
    {NoDocument::header_cut_off, "header-cut-off", "header cut off", "header cut off",
     "the header is cut off: the document holds M of its 76 bytes"},
    {NoDocument::ciphertext_past_end, "ciphertext-past-end",
     "ciphertext runs past the end of the file", "ciphertext runs past the end of the document",
     "the header claims C bytes of ciphertext, but only M follow it"},
    {NoDocument::ciphertext_not_whole_blocks, "ciphertext-not-whole-blocks",
     "ciphertext length is not a multiple of 16", "ciphertext length is not a multiple of 16",
     "the ciphertext length C is not a multiple of 16"},
    {NoDocument::plaintext_too_long, "plaintext-too-long",
     "plaintext length exceeds ciphertext length", "plaintext length exceeds ciphertext length",
     "the plaintext length P exceeds the ciphertext length C"},
};
// clang-format on

constexpr bool in_enumeration_order() {
    for (std::size_t i = 0; i < std::size(reasons); ++i) {
        if (static_cast<std::size_t>(reasons[i].reason) != i + 1) {
            return false;
        }
    }
    return true;
}
static_assert(in_enumeration_order(), "one row per reason, in the order of NoDocument");
static_assert(std::size(reasons) == static_cast<std::size_t>(NoDocument::plaintext_too_long));

// What placeholder `letter` of `reason` stands for.
std::string placeholder(NoDocument reason, char letter, const DocumentReport& r) {
    const auto number = [](std::uint64_t n) { return std::to_string(n); };
    switch (letter) {
        case 'N':
            return number(r.input_size);
        case 'L':
            return number(reason == NoDocument::trailer_too_long ? r.trailer_length
                                                                 : r.document_bytes);
        case 'M':
            return number(reason == NoDocument::trailer_too_long ? r.bytes_before_trailer
                          : reason == NoDocument::header_cut_off ? r.header_bytes_held
                                                                 : r.bytes_after_header);
        case 'C':
            return number(r.header.cipher_len);
        case 'P':
            return number(r.header.plain_len);
        case 'S': {
            std::string text;
            for (const std::uint8_t byte : r.signature) {
                text += text.empty() ? "" : " ";
                text += platform::hex_digits_lower[byte >> 4];
                text += platform::hex_digits_lower[byte & 0xF];
            }
            return text;
        }
        default:
            break;
    }
    NOTEDIAG_ASSERT(!"a placeholder without a value");
    return {};
}

bool is_placeholder(const char* wording, std::size_t at) {
    const auto word_character = [&](std::size_t i) {
        return std::isalnum(static_cast<unsigned char>(wording[i])) != 0;
    };
    return std::isupper(static_cast<unsigned char>(wording[at])) != 0 &&
           (at == 0 || !word_character(at - 1)) && !word_character(at + 1);
}

}  // namespace

std::span<const NoDocumentReason> no_document_reasons() noexcept {
    return reasons;
}

const NoDocumentReason& no_document_reason(NoDocument reason) noexcept {
    NOTEDIAG_ASSERT(reason != NoDocument::none);
    return reasons[static_cast<std::size_t>(reason) - 1];
}

std::string whoops_line(NoDocument reason, bool behind_trailer) {
    const NoDocumentReason& entry = no_document_reason(reason);
    const char* what = behind_trailer ? entry.whoops_behind_trailer : entry.whoops;
    return what != nullptr ? std::string("whoops, ") + what : std::string();
}

std::string describe_no_document(const DocumentReport& report) {
    if (report.no_document == NoDocument::none) {
        return {};
    }
    const char* wording = no_document_reason(report.no_document).wording;
    std::string text;
    constexpr std::string_view plural = " bytes";
    for (std::size_t i = 0; wording[i] != '\0'; ++i) {
        if (!is_placeholder(wording, i)) {
            text += wording[i];
            continue;
        }
        const std::string value = placeholder(report.no_document, wording[i], report);
        text += value;
        // "1 byte", not "1 bytes".
        if (value == "1" && std::string_view(wording + i + 1).substr(0, plural.size()) == plural) {
            text += " byte";
            i += plural.size();
        }
    }
    return text;
}
