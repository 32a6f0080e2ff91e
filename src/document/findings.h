// What a format reader is given (where its document lies) and what a load reports beside the
// document it returns: why there is none, or how a version-2 document's checks came out. The
// numbers are those taken from the file, so the caller can say in words what went wrong.
#pragma once

#include <cstdint>

// Where the locator found a document: `length` bytes from `start`, ending either at the end of
// the file or where a trailer begins.
struct DocumentExtent {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    bool behind_trailer = false;
};

// Why a load yields no document. The comment names the fields of LoadFindings that hold the
// numbers of each case.
enum class NoDocument : std::uint8_t {
    none,                         // a document was read
    file_too_short,               // file_size, below 8
    file_too_large,               // file_size, 2^31 or more
    input_too_large,              // a stream stopped at 2^31 bytes
    trailer_too_long,             // document_length, available (bytes in front of the trailer)
    document_too_short,           // document_length, below 8
    version_1,                    //
    unknown_signature,            // signature
    header_cut_off,               // available (bytes of the header the document holds)
    ciphertext_past_end,          // cipher_len, available (bytes that follow the header)
    ciphertext_not_whole_blocks,  // cipher_len
    plaintext_too_long,           // plain_len, cipher_len
};

// The decrypted bytes between the plaintext length and the ciphertext length.
enum class Padding : std::uint8_t {
    absent,       // the lengths are equal
    well_formed,  // 1 to 16 bytes each equal to their count, or 1 to 15 zero bytes
    malformed,    // anything else, more than 16 bytes included
};

struct LoadFindings {
    NoDocument no_document = NoDocument::none;
    std::uint64_t file_size = 0;
    std::uint32_t document_length = 0;  // as a trailer claims it
    std::uint32_t available = 0;
    std::uint32_t cipher_len = 0;
    std::uint32_t plain_len = 0;
    std::uint8_t signature[8] = {};
    // Of a document that was read:
    bool check_hash_matches = false;
    Padding padding = Padding::absent;
};
