// --scan PATH: every note signature in the input, at any offset, in order, and for version 2
// whether the header there fits the input. Standard output gets a line a signature (--json: a
// JSON object a line); the status is 0 when a consistent version-2 note was found.
#include <cinttypes>
#include <string>

#include "app/messages.h"
#include "app/modes.h"
#include "document/format.h"
#include "document/read_document_v2.h"
#include "document/reasons.h"
#include "document/signature_search.h"
#include "file/input.h"
#include "output/json_writer.h"
#include "output/transcript.h"

namespace {

// What a version-2 header at `hit` says, judged as the reader judges it from the header alone.
DocumentReport header_at(const SignatureHit& hit, std::uint64_t input_size) {
    DocumentReport r;
    r.located = true;
    r.version = 2;
    const std::uint64_t rest = input_size - hit.offset;
    r.extent = {static_cast<std::uint32_t>(std::min<std::uint64_t>(hit.offset, 0xFFFFFFFF)),
                static_cast<std::uint32_t>(std::min<std::uint64_t>(rest, 0xFFFFFFFF)), false};
    if (hit.available < header_v2_size) {
        r.header_bytes_held = static_cast<std::uint32_t>(hit.available);
        r.no_document = NoDocument::header_cut_off;
        return r;
    }
    std::uint8_t raw[header_v2_size];
    std::copy(hit.bytes, hit.bytes + header_v2_size, raw);
    r.header = parse_header_v2(raw);
    r.header_read = true;
    const std::uint64_t after = rest - header_v2_size;
    r.bytes_after_header = static_cast<std::uint32_t>(std::min<std::uint64_t>(after, 0xFFFFFFFF));
    r.no_document =
        r.header.cipher_len > after ? NoDocument::ciphertext_past_end : check_lengths(r.header);
    return r;
}

}  // namespace

int run_scan(const CommandLine& command) {
    file::Input input = file::open_input(command.path);
    const std::uint64_t size = input.file->size64();
    std::uint64_t signatures = 0, consistent = 0;
    find_signatures(*input.file, size, [&](const SignatureHit& hit) {
        ++signatures;
        const DocumentReport r = hit.version == 2 ? header_at(hit, size) : DocumentReport{};
        const bool sound = hit.version == 2 && r.no_document == NoDocument::none;
        const std::uint64_t end = hit.offset + header_v2_size + r.header.cipher_len;
        consistent += sound ? 1 : 0;
        if (command.json) {
            std::string text;
            JsonWriter json(text);
            json.begin_object();
            json.key("offset").number(hit.offset);
            json.key("version").number(std::int64_t{hit.version});
            json.key("consistent").boolean(sound);
            json.key("end");
            sound ? json.number(end) : json.null();
            if (r.header_read) {
                json.key("cipher_len").number(std::uint64_t{r.header.cipher_len});
                json.key("plain_len").number(std::uint64_t{r.header.plain_len});
            }
            json.key("reason");
            hit.version == 2 && !sound ? json.string(no_document_reason(r.no_document).code)
                                       : json.null();
            json.end_object();
            transcript::line(text);
        } else if (hit.version == 1) {
            transcript::format("%" PRIu64 ": version 1, which this tool cannot read\n", hit.offset);
        } else if (sound) {
            transcript::format("%" PRIu64 ": version 2, consistent: %" PRIu32
                               " bytes of ciphertext, %" PRIu32 " of plaintext, ends at %" PRIu64
                               "\n",
                               hit.offset, r.header.cipher_len, r.header.plain_len, end);
        } else {
            transcript::format("%" PRIu64 ": version 2, inconsistent: %s\n", hit.offset,
                               describe_no_document(r).c_str());
        }
        return true;
    });
    if (!output_went_out()) {
        return exit_failure;
    }
    if (!command.quiet) {
        messages::sayf("%" PRIu64 " signature%s, %" PRIu64 " consistent version-2 note%s",
                       signatures, signatures == 1 ? "" : "s", consistent,
                       consistent == 1 ? "" : "s");
    }
    return consistent != 0 ? exit_completed : exit_no_document;
}
