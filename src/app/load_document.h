// The document locator: finds a document in an input (the whole of it, or a stretch in front of an
// 8-byte trailer at its end), recognises its format and hands it to the matching reader.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "document/Document.h"
#include "document/read_observer.h"
#include "document/report.h"
#include "file/File.h"
#include "file/input.h"
#include "secure/Plaintext.h"

// The trailer's two fields (document/format.h says where they lie).
struct ContainerTrailer {
    std::uint32_t magic;
    std::uint32_t length;
};

// Where to read the document instead of looking for it (--offset, --length): at `offset` of the
// input (0 when absent), `length` bytes long (the rest of the input when absent), trailer or not.
// The caller has checked that both lie inside the input.
struct Placement {
    std::optional<std::uint32_t> offset;
    std::optional<std::uint32_t> length;
};

// Why `placement` cannot be used on an input of `size` bytes, as a usage error says it; empty
// when it can.
std::string placement_error(const Placement& placement, std::uint64_t size);

// Version-1 documents are recognised but not readable: always null.
std::unique_ptr<Document> read_document_v1(File& file, const DocumentExtent& extent,
                                           const Plaintext& key, DocumentReport& report);

// Finds the document in `input` and reads it with the reader its signature names, telling
// `observer` what the reader sees. Returns the document when the observer wants the whole payload
// and one was read, else null; `report` says what was found, with the numbers from the input (a
// file too short or too long, or a trailer that does not fit, mean there is no document).
std::unique_ptr<Document> load_document(file::Input& input, const Plaintext& key,
                                        ReadObserver& observer, DocumentReport& report,
                                        const Placement& placement = {});

// The same on `path` opened with file::open_input, which throws file::FileError when it cannot be
// opened or read; the file is closed on every path.
std::unique_ptr<Document> load_document(std::string path, const Plaintext& key,
                                        ReadObserver& observer, DocumentReport& report);
// The same for a caller that needs only the document.
std::unique_ptr<Document> load_document(std::string path, const Plaintext& key);
