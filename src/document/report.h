// What a load establishes, in one record: where the document lies, every header field, how the
// decryption and the check hash came out, or why there is no document. The locator and the reader
// fill it; every output (the transcript's verdict, the JSON report, the inspection, the batch line)
// presents it and derives nothing from printed text.
#pragma once

#include <cstdint>

#include "document/format.h"

// Where the locator found a document: `length` bytes from `start`, ending either at the end of
// the input or where a trailer begins.
struct DocumentExtent {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    bool behind_trailer = false;
};

// Why a load yields no document. The comment names the fields of DocumentReport whose numbers the
// reason quotes (document/reasons.h words them).
enum class NoDocument : std::uint8_t {
    none,                         // a document was read
    file_too_short,               // input_size, below 8
    file_too_large,               // input_size, 2^31 or more
    input_too_large,              // a stream stopped at 2^31 bytes
    trailer_too_long,             // trailer_length, bytes_before_trailer
    document_too_short,           // document_bytes, below 8
    version_1,                    //
    unknown_signature,            // signature
    header_cut_off,               // header_bytes_held
    ciphertext_past_end,          // header.cipher_len, bytes_after_header
    ciphertext_not_whole_blocks,  // header.cipher_len
    plaintext_too_long,           // header.plain_len, header.cipher_len
};

// The decrypted bytes between the plaintext length and the ciphertext length.
enum class Padding : std::uint8_t {
    absent,       // the lengths are equal
    well_formed,  // 1 to 16 bytes each equal to their count, or 1 to 15 zero bytes
    malformed,    // anything else, more than 16 bytes included
};

// The version-2 header, its fields as stored.
struct HeaderV2 {
    std::uint8_t signature[8];
    std::uint8_t wanted_hash[32];
    std::uint8_t iv[16];
    std::uint32_t cipher_len;
    std::uint32_t plain_len;
    std::uint32_t flags;
    std::uint32_t width;
    std::uint32_t height;
};

HeaderV2 parse_header_v2(const std::uint8_t (&raw)[header_v2_size]) noexcept;

struct DocumentReport {
    NoDocument no_document = NoDocument::none;

    // The input: a file's length, or the bytes a stream delivered.
    std::uint64_t input_size = 0;
    // A trailer (its magic matched) and what it claims.
    bool trailer_found = false;
    std::uint32_t trailer_length = 0;
    std::uint32_t bytes_before_trailer = 0;
    // The document's place, once located; its length as far as it could be read.
    bool located = false;
    DocumentExtent extent;
    std::uint32_t document_bytes = 0;
    std::uint8_t signature[8] = {};
    int version = 0;  // 1 or 2 once the signature is recognised

    // A version-2 header, once read whole.
    bool header_read = false;
    HeaderV2 header{};
    std::uint32_t header_bytes_held = 0;   // of a header cut off
    std::uint32_t bytes_after_header = 0;  // what the document holds behind its header

    // The payload, once decrypted.
    bool decrypted = false;
    std::uint32_t payload_length = 0;  // the bytes decrypted: the ciphertext length
    Padding padding = Padding::absent;
    std::uint8_t computed_hash[32] = {};
    bool check_hash_matches = false;
};
