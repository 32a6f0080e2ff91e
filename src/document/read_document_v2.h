// Reader of version-2 documents: a 76-byte header, then an AES-256-CBC payload whose key is the
// SHA-256 digest of the password. Every stage is dumped to standard output.
#pragma once

#include <cstdint>
#include <memory>

#include "document/Document.h"
#include "document/findings.h"
#include "document/format.h"
#include "file/File.h"
#include "secure/Plaintext.h"

// Reads the document at `extent` of `file` and decrypts it with `key`; header and ciphertext must
// lie inside the extent. Returns null, after one "whoops, ..." line, when the header is damaged
// beyond reading. `findings` receives why, or how the check hash and the padding came out.
std::unique_ptr<Document> read_document_v2(File& file, const DocumentExtent& extent,
                                           const Plaintext& key, LoadFindings& findings);
