// Reader of version-2 documents: a 76-byte header, then an AES-256-CBC payload whose key is the
// SHA-256 digest of the password. Every stage is dumped to standard output.
#pragma once

#include <cstdint>
#include <memory>

#include "document/Document.h"
#include "file/File.h"
#include "secure/Plaintext.h"

inline constexpr char header_v2_signature[8] = {'S', 'E', 'K', 'R', 'i', 'T', '*', '2'};
inline constexpr std::uint32_t header_v2_size = 76;

// Reads the document that starts at `start` in `file` (the header says how much; `length` is not
// consulted) and decrypts it with `key`. Returns null, after one "whoops, ..." line, when the
// header is damaged beyond reading.
std::unique_ptr<Document> read_document_v2(File& file, std::uint32_t start, std::uint32_t length,
                                           const Plaintext& key);
