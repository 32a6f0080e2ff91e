#include "app/load_document.h"

#include <cstring>

#include "document/read_document_v2.h"
#include "platform/little_endian.h"

namespace {

using platform::load_le32;

struct DocumentPosition {
    std::uint32_t start;
    std::uint32_t length;
};

// Every decision is taken on bytes that were really read: a short read, a file shorter than a
// trailer, or a trailer claiming more than lies in front of it means there is no document.
bool locate(File& file, DocumentPosition& position) {
    const std::uint32_t size = file.size();
    std::uint8_t raw[8];
    if (size < sizeof raw || size - sizeof raw > 0x7FFFFFFF ||
        !file.seek(static_cast<std::int32_t>(size - sizeof raw)) || !file.read(raw, sizeof raw)) {
        return false;
    }
    const ContainerTrailer trailer{load_le32(raw), load_le32(raw + 4)};
    if (trailer.magic != container_trailer_magic) {
        position = {0, file.size()};
        return true;
    }
    const std::int64_t start = static_cast<std::int64_t>(file.tell()) - 8 - trailer.length;
    if (start < 0) {
        return false;
    }
    position = {static_cast<std::uint32_t>(start), trailer.length};
    return true;
}

}  // namespace

std::unique_ptr<Document> read_document_v1(File&, std::uint32_t, std::uint32_t, const Plaintext&) {
    return nullptr;
}

std::unique_ptr<Document> load_document(std::string path, const Plaintext& key) {
    File file(path.c_str(), false, false);
    DocumentPosition position{};
    if (!locate(file, position)) {
        return nullptr;
    }
    char signature[8];
    if (!file.seek(static_cast<std::int32_t>(position.start)) ||
        !file.read(signature, sizeof signature)) {
        return nullptr;
    }
    if (std::memcmp(signature, header_v1_signature, sizeof signature) == 0) {
        return read_document_v1(file, position.start, position.length, key);
    }
    if (std::memcmp(signature, header_v2_signature, sizeof signature) == 0) {
        return read_document_v2(file, position.start, position.length, key);
    }
    return nullptr;
}
