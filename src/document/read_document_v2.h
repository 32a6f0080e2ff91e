// Reader of version-2 documents: a 76-byte header, then an AES-256-CBC payload whose key is the
// SHA-256 digest of the password. It tells every stage to an observer and returns what it
// established in the report.
#pragma once

#include <cstdint>
#include <memory>

#include "document/Document.h"
#include "document/read_observer.h"
#include "document/report.h"
#include "file/File.h"
#include "secure/Plaintext.h"

// Reads the document at `extent` of `file` and decrypts it with `key`; header and ciphertext must
// lie inside the extent. When the header is damaged beyond reading, tells `observer` why and
// returns null. Otherwise the report says how the padding and the check hash came out, and the
// result is the Document when the observer wants the whole payload, null when it took the text in
// pieces.
std::unique_ptr<Document> read_document_v2(File& file, const DocumentExtent& extent,
                                           const Plaintext& key, ReadObserver& observer,
                                           DocumentReport& report);

// What is wrong with a header's lengths whatever the input holds: a ciphertext of part of a block,
// or a plaintext longer than it. NoDocument::none when neither.
NoDocument check_lengths(const HeaderV2& header);

// The padding of `count` bytes in front of `end`: 1 to 16 bytes each equal to the count, or 1 to
// 15 zero bytes. The bytes are read only when there are at most 16 of them.
Padding classify_padding(const std::uint8_t* end, std::uint32_t count);

// The bytes `file` delivered from `from` up to its position, after a read that came short of what
// the extent promised (the file shrank while it was read, or the device failed).
std::uint32_t bytes_delivered_since(File& file, std::uint32_t from);
