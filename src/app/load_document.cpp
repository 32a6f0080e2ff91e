#include "app/load_document.h"

#include <cstring>
#include <utility>

#include "document/read_document_v2.h"
#include "file/input.h"
#include "platform/little_endian.h"

namespace {

using platform::load_le32;

// Positions are signed 32-bit, so nothing from 2 GiB on can be reached; a file that long is
// refused whole rather than read at positions that wrap.
constexpr std::uint64_t largest_file = 0x7FFFFFFF;

// Every decision is taken on bytes that were really read: a short read, a file shorter than a
// trailer, or a trailer claiming more than lies in front of it means there is no document.
bool locate(File& file, DocumentExtent& extent, LoadFindings& findings) {
    findings.file_size = file.size64();
    if (findings.file_size < container_trailer::size) {
        findings.no_document = NoDocument::file_too_short;
        return false;
    }
    if (findings.file_size > largest_file) {
        findings.no_document = NoDocument::file_too_large;
        return false;
    }
    const auto size = static_cast<std::uint32_t>(findings.file_size);
    std::uint8_t raw[container_trailer::size];
    if (!file.seek(static_cast<std::int32_t>(size - sizeof raw)) || !file.read(raw, sizeof raw)) {
        // The file shrank under the tool, or the device failed: it holds what could be read.
        findings.file_size = file.tell();
        findings.no_document = NoDocument::file_too_short;
        return false;
    }
    const ContainerTrailer trailer{load_le32(raw + container_trailer::magic),
                                   load_le32(raw + container_trailer::length)};
    if (trailer.magic != container_trailer_magic) {
        extent = {0, size, false};
        return true;
    }
    findings.document_length = trailer.length;
    findings.available = size - container_trailer::size;
    if (trailer.length > findings.available) {
        findings.no_document = NoDocument::trailer_too_long;
        return false;
    }
    if (trailer.length < sizeof header_v1_signature) {
        findings.no_document = NoDocument::document_too_short;
        return false;
    }
    extent = {findings.available - trailer.length, trailer.length, true};
    return true;
}

}  // namespace

std::unique_ptr<Document> read_document_v1(File&, const DocumentExtent&, const Plaintext&,
                                           LoadFindings& findings) {
    findings.no_document = NoDocument::version_1;
    return nullptr;
}

std::unique_ptr<Document> load_document(std::string path, const Plaintext& key,
                                        LoadFindings& findings) {
    findings = LoadFindings{};
    const file::Input input = file::open_input(path.c_str());
    if (input.over_limit) {
        findings.no_document = NoDocument::input_too_large;
        return nullptr;
    }
    File& file = *input.file;
    DocumentExtent extent;
    if (!locate(file, extent, findings)) {
        return nullptr;
    }
    std::uint8_t* const signature = findings.signature;
    if (!file.seek(static_cast<std::int32_t>(extent.start)) ||
        !file.read(signature, sizeof findings.signature)) {
        findings.document_length = file.tell() - extent.start;
        findings.no_document = NoDocument::document_too_short;
        return nullptr;
    }
    if (std::memcmp(signature, header_v1_signature, sizeof header_v1_signature) == 0) {
        return read_document_v1(file, extent, key, findings);
    }
    if (std::memcmp(signature, header_v2_signature, sizeof header_v2_signature) == 0) {
        return read_document_v2(file, extent, key, findings);
    }
    findings.no_document = NoDocument::unknown_signature;
    return nullptr;
}

std::unique_ptr<Document> load_document(std::string path, const Plaintext& key) {
    LoadFindings findings;
    return load_document(std::move(path), key, findings);
}
