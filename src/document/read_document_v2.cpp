#include "document/read_document_v2.h"

std::unique_ptr<Document> read_document_v2(File&, std::uint32_t, std::uint32_t, const Plaintext&) {
    return nullptr;
}
