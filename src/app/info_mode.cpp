// --info PATH: where the document lies and each part of it, with offsets and sizes that add up to
// the input's, from the header alone: no password, no decryption, nothing secret. --json gives the
// same as one object.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "app/load_document.h"
#include "app/messages.h"
#include "app/modes.h"
#include "app/report_json.h"
#include "app/verdict.h"
#include "app/write_out.h"
#include "document/format.h"
#include "output/json_writer.h"
#include "output/transcript.h"
#include "platform/hex_digits.h"
#include "verdict/verdict.h"

namespace {

struct Part {
    const char* name;  // the JSON report's name
    std::uint64_t offset;
    std::uint64_t length;
    std::string says;  // the listing's words for it
};

std::string hex(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += platform::hex_digits_lower[bytes[i] >> 4];
        text += platform::hex_digits_lower[bytes[i] & 0xF];
    }
    return text;
}

std::string flags_words(std::uint32_t flags) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIx32, flags);
    std::string words = text;
    const bool readonly = (flags & 1) != 0, maximized = (flags & 2) != 0;
    if (readonly || maximized) {
        words += std::string(" (") + (readonly ? "readonly" : "") +
                 (readonly && maximized ? ", " : "") + (maximized ? "maximized" : "") + ")";
    }
    return words;
}

std::string plural(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Every byte of the input in one part, in the order they lie.
std::vector<Part> parts_of(const DocumentReport& r) {
    std::vector<Part> parts;
    if (!r.located) {
        // Nothing was found where a document could start: the input is one stretch.
        if (r.trailer_found) {
            parts.push_back({"unread", 0, r.input_size - container_trailer::size,
                             "bytes in front of the trailer"});
            parts.push_back(
                {"trailer", r.input_size - container_trailer::size, container_trailer::size,
                 "trailer: claims a document of " + plural(r.trailer_length, "byte", "bytes")});
        } else {
            parts.push_back({"unread", 0, r.input_size, "bytes that hold no document"});
        }
        return parts;
    }
    const std::uint64_t start = r.extent.start;
    const std::uint64_t end = start + r.extent.length;
    if (start > 0) {
        parts.push_back({"host", 0, start, "host bytes in front of the document"});
    }
    std::uint64_t at = start;
    const auto add = [&](const char* name, std::uint64_t length, std::string says) {
        parts.push_back({name, at, length, std::move(says)});
        at += length;
    };
    if (r.header_read) {
        const HeaderV2& h = r.header;
        const std::uint64_t padding = h.cipher_len >= h.plain_len ? h.cipher_len - h.plain_len : 0;
        add("signature", 8, "signature: SEKRiT*2");
        add("stored-hash", 32, "stored check hash: " + hex(h.wanted_hash, 32));
        add("iv", 16, "iv: " + hex(h.iv, 16));
        add("cipher-len", 4,
            "ciphertext length: " + std::to_string(h.cipher_len) + " (" +
                plural(h.cipher_len / 16, "block", "blocks") +
                (h.cipher_len % 16 != 0 ? " and " + plural(h.cipher_len % 16, "byte", "bytes")
                                        : std::string()) +
                ")");
        add("plain-len", 4,
            "plaintext length: " + std::to_string(h.plain_len) +
                (h.plain_len <= h.cipher_len
                     ? " (" + plural(padding, "byte", "bytes") + " of padding)"
                     : std::string(" (more than the ciphertext)")));
        add("flags", 4, "flags: " + flags_words(h.flags));
        add("width", 4, "window width: " + std::to_string(h.width));
        add("height", 4, "window height: " + std::to_string(h.height));
        if (h.cipher_len <= end - at) {
            add("ciphertext", h.cipher_len,
                "ciphertext: " + plural(h.cipher_len / 16, "block", "blocks"));
        }
        if (at < end) {
            add("after-ciphertext", end - at, "bytes after the ciphertext that belong to no part");
        }
    } else if (r.version != 0 || r.no_document == NoDocument::unknown_signature) {
        const bool known = r.version != 0;
        add("signature", 8,
            known ? std::string("signature: SEKRiT*") + (r.version == 1 ? "1" : "2")
                  : "unknown signature: " + hex(r.signature, 8));
        if (at < end) {
            add(r.no_document == NoDocument::header_cut_off ? "header-cut-off" : "unread", end - at,
                r.no_document == NoDocument::header_cut_off ? "the header, cut off"
                                                            : "the rest of the document, unread");
        }
    } else if (end > at) {
        add("document", end - at, "the document, too short for its signature");
    }
    if (r.extent.behind_trailer) {
        parts.push_back({"trailer", end, container_trailer::size,
                         "trailer: the document's length, " + std::to_string(r.trailer_length)});
    } else if (end < r.input_size) {
        parts.push_back({"unread", end, r.input_size - end, "bytes after the document"});
    }
    return parts;
}

std::string where(const DocumentReport& r) {
    if (!r.located) {
        return "no document found";
    }
    std::string text =
        "document: " +
        (r.version != 0 ? "version " + std::to_string(r.version) : std::string("unknown version")) +
        ", " + plural(r.extent.length, "byte", "bytes") + " at offset " +
        std::to_string(r.extent.start);
    if (r.extent.behind_trailer) {
        text += ", in front of an 8-byte trailer";
    } else if (r.extent.start == 0 && r.extent.length == r.input_size) {
        text += ", the whole input";
    }
    return text;
}

}  // namespace

int run_info(const CommandLine& command) {
    if (const int refused = check_new_files(command); refused != 0) {
        return refused;
    }
    file::Input input = file::open_input(command.path);
    const Placement placement{command.offset, command.length};
    if (const std::string error = placement_error(placement, input.file->size64());
        !error.empty()) {
        return messages::usage_failure(error);
    }
    StructureObserver structure;
    const Plaintext no_key;
    DocumentReport report;
    load_document(input, no_key, structure, report, placement);
    verdict::Verdict found;
    if (report.no_document != NoDocument::none) {
        verdict::find_signatures_elsewhere(*input.file, report, found);
    }
    const std::vector<Part> parts = parts_of(report);

    if (command.json) {
        std::string text;
        JsonWriter json(text);
        json.begin_object();
        write_found_members(json, command.path, report);
        json.key("structure")
            .string(report.no_document == NoDocument::none ? "sound" : "no-document");
        json.key("parts").begin_array();
        for (const Part& part : parts) {
            json.begin_object();
            json.key("name").string(part.name);
            json.key("offset").number(part.offset);
            json.key("length").number(part.length);
            json.end_object();
        }
        json.end_array();
        write_hints(json, found);
        json.end_object();
        transcript::line(text);
    } else {
        transcript::line(std::string("input: ") + plural(report.input_size, "byte", "bytes"));
        transcript::line(where(report));
        transcript::format("%12s %12s  %s\n", "offset", "length", "part");
        std::uint64_t sum = 0;
        for (const Part& part : parts) {
            transcript::format("%12" PRIu64 " %12" PRIu64 "  %s\n", part.offset, part.length,
                               part.says.c_str());
            sum += part.length;
        }
        transcript::format(
            "%12s %12" PRIu64 "  %s\n", "", sum,
            sum == report.input_size ? "in all: the input's size" : "in all: NOT the input's size");
    }
    if (!output_went_out()) {
        return exit_failure;
    }
    if (!command.quiet && report.no_document != NoDocument::none) {
        say_verdict(report, found);
    }
    const int status = report.no_document == NoDocument::none ? exit_completed : exit_no_document;
    if (command.extract != nullptr) {
        if (const int written = extract_document(command.extract, *input.file, report);
            written == exit_failure) {
            return written;
        }
    }
    return status;
}
