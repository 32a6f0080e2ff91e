// The document locator: finds a document in a file (the whole file, or a stretch in front of an
// 8-byte trailer at its end), recognises its format and hands it to the matching reader.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "document/Document.h"
#include "document/findings.h"
#include "document/format.h"
#include "file/File.h"
#include "secure/Plaintext.h"

// The trailer's two fields (document/format.h says where they lie).
struct ContainerTrailer {
    std::uint32_t magic;
    std::uint32_t length;
};

// Version-1 documents are recognised but not readable: always null.
std::unique_ptr<Document> read_document_v1(File& file, const DocumentExtent& extent,
                                           const Plaintext& key, LoadFindings& findings);

// Opens `path` read-only (a stream, "-" for standard input, is read whole first: file::open_input)
// and returns the document it holds, or null when there is none this tool can read (a file too
// short or too long, or a trailer that does not fit, count as none); `findings` says which, with
// the numbers from the file. Throws file::FileError when the file cannot be opened or the stream
// read; the file is closed on every path.
std::unique_ptr<Document> load_document(std::string path, const Plaintext& key,
                                        LoadFindings& findings);
// The same for a caller that needs only the document.
std::unique_ptr<Document> load_document(std::string path, const Plaintext& key);
