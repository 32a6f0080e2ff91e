#include "app/load_document.h"

#include <cstring>
#include <utility>

#include "document/read_document_v2.h"
#include "platform/little_endian.h"

namespace {

using platform::load_le32;

// Every decision is taken on bytes that were really read: a short read, a file shorter than a
// trailer, or a trailer claiming more than lies in front of it means there is no document.
bool locate(File& file, DocumentReport& report, const Placement& placement) {
    report.input_size = file.size64();
    if (report.input_size < container_trailer::size) {
        report.no_document = NoDocument::file_too_short;
        return false;
    }
    if (report.input_size >= file::input_limit) {
        report.no_document = NoDocument::file_too_large;
        return false;
    }
    const auto size = static_cast<std::uint32_t>(report.input_size);
    if (placement.offset || placement.length) {
        const std::uint32_t start = placement.offset.value_or(0);
        report.extent = {start, placement.length.value_or(size - start), false};
        report.located = true;
        return true;
    }
    std::uint8_t raw[container_trailer::size];
    if (!file.seek(static_cast<std::int32_t>(size - sizeof raw)) || !file.read(raw, sizeof raw)) {
        // The file shrank under the tool, or the device failed: it holds what could be read.
        report.input_size = file.tell();
        report.no_document = NoDocument::file_too_short;
        return false;
    }
    const ContainerTrailer trailer{load_le32(raw + container_trailer::magic),
                                   load_le32(raw + container_trailer::length)};
    if (trailer.magic != container_trailer_magic) {
        report.extent = {0, size, false};
        report.located = true;
        return true;
    }
    report.trailer_found = true;
    report.trailer_length = trailer.length;
    report.bytes_before_trailer = size - container_trailer::size;
    if (trailer.length > report.bytes_before_trailer) {
        report.no_document = NoDocument::trailer_too_long;
        return false;
    }
    report.document_bytes = trailer.length;
    if (trailer.length < sizeof header_v1_signature) {
        report.no_document = NoDocument::document_too_short;
        return false;
    }
    report.extent = {report.bytes_before_trailer - trailer.length, trailer.length, true};
    report.located = true;
    return true;
}

}  // namespace

std::unique_ptr<Document> read_document_v1(File&, const DocumentExtent&, const Plaintext&,
                                           DocumentReport& report) {
    report.no_document = NoDocument::version_1;
    return nullptr;
}

std::string placement_error(const Placement& placement, std::uint64_t size) {
    if (placement.offset && *placement.offset >= size) {
        return "--offset=" + std::to_string(*placement.offset) +
               " lies past the end of the input (" + std::to_string(size) + " bytes)";
    }
    const std::uint64_t start = placement.offset.value_or(0);
    if (placement.length && start + *placement.length > size) {
        return "--length=" + std::to_string(*placement.length) +
               " runs past the end of the input (" + std::to_string(size - start) + " bytes from " +
               std::to_string(start) + ")";
    }
    return {};
}

std::unique_ptr<Document> load_document(file::Input& input, const Plaintext& key,
                                        ReadObserver& observer, DocumentReport& report,
                                        const Placement& placement) {
    report = DocumentReport{};
    if (input.over_limit) {
        report.input_size = input.file->size64();
        report.no_document = NoDocument::input_too_large;
        return nullptr;
    }
    File& file = *input.file;
    if (!locate(file, report, placement)) {
        return nullptr;
    }
    const DocumentExtent& extent = report.extent;
    report.document_bytes = extent.length;
    if (!file.seek(static_cast<std::int32_t>(extent.start)) ||
        !file.read(report.signature, sizeof report.signature)) {
        report.document_bytes = bytes_delivered_since(file, extent.start);
        report.no_document = NoDocument::document_too_short;
        return nullptr;
    }
    if (std::memcmp(report.signature, header_v1_signature, sizeof header_v1_signature) == 0) {
        report.version = 1;
        return read_document_v1(file, extent, key, report);
    }
    if (std::memcmp(report.signature, header_v2_signature, sizeof header_v2_signature) == 0) {
        report.version = 2;
        return read_document_v2(file, extent, key, observer, report);
    }
    report.no_document = NoDocument::unknown_signature;
    return nullptr;
}

std::unique_ptr<Document> load_document(std::string path, const Plaintext& key,
                                        ReadObserver& observer, DocumentReport& report) {
    file::Input input = file::open_input(path.c_str());
    return load_document(input, key, observer, report);
}

namespace {

// Shows nothing, but wants the payload whole so that the reader returns the Document.
class DocumentOnly : public ReadObserver {
  public:
    bool wants_whole_payload() const override { return true; }
};

}  // namespace

std::unique_ptr<Document> load_document(std::string path, const Plaintext& key) {
    DocumentOnly observer;
    DocumentReport report;
    return load_document(std::move(path), key, observer, report);
}
