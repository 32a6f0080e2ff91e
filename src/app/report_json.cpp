#include "app/report_json.h"

#include "document/format.h"
#include "document/reasons.h"

namespace {

const char* padding_code(Padding padding) {
    switch (padding) {
        case Padding::absent:
            return "absent";
        case Padding::well_formed:
            return "well-formed";
        case Padding::malformed:
            break;
    }
    return "malformed";
}

void write_damage(JsonWriter& json, const verdict::Verdict& v) {
    using Part = verdict::DamagedPart::Part;
    json.key("damage").begin_array();
    for (const verdict::DamagedPart& part : v.damage) {
        json.begin_object();
        switch (part.part) {
            case Part::ciphertext:
                // One entry a run of blocks, placed as the document's bytes lie.
                json.key("part").string("ciphertext");
                json.key("block").number(std::uint64_t{part.first_block});
                json.key("start").number(header_v2_size + std::uint64_t{16} * part.first_block);
                json.key("length").number(std::uint64_t{16} * part.block_count);
                json.key("blocks").number(std::uint64_t{part.block_count});
                break;
            case Part::stored_hash_or_iv:
                json.key("part").string("stored-hash-or-iv");
                break;
            case Part::plain_len:
                json.key("part").string("plain-len");
                json.key("start").number(std::uint64_t{header_v2::plain_len});
                json.key("length").number(std::uint64_t{4});
                break;
        }
        json.end_object();
    }
    json.end_array();
}

}  // namespace

void write_hints(JsonWriter& json, const verdict::Verdict& v) {
    using Kind = verdict::Hint::Kind;
    json.key("hints").begin_array();
    for (const verdict::Hint& hint : v.hints) {
        json.begin_object();
        switch (hint.kind) {
            case Kind::plain_len:
                json.key("kind").string("plain-len");
                json.key("value").number(hint.value);
                break;
            case Kind::password_encoding:
                json.key("kind").string("password-encoding");
                json.key("encoding").string(hint.name);
                if (hint.from != nullptr) {
                    json.key("from").string(hint.from);
                }
                break;
            case Kind::password_variant:
                json.key("kind").string("password-variant");
                json.key("variant").string(hint.name);
                break;
            case Kind::signature_at:
                json.key("kind").string("signature-at");
                json.key("offset").number(hint.value);
                json.key("version").number(std::int64_t{hint.version});
                break;
        }
        json.end_object();
    }
    json.end_array();
}

void write_found_members(JsonWriter& json, const char* path, const DocumentReport& report) {
    json.key("schema").number(std::int64_t{json_schema});
    json.key("path").string(path);
    json.key("input_size").number(report.input_size);
    json.key("trailer");
    if (report.trailer_found) {
        json.begin_object();
        json.key("length").number(std::uint64_t{report.trailer_length});
        json.key("offset").number(report.input_size - 8);
        json.end_object();
    } else {
        json.null();
    }
    json.key("document");
    if (report.located) {
        json.begin_object();
        json.key("start").number(std::uint64_t{report.extent.start});
        json.key("length").number(std::uint64_t{report.extent.length});
        json.key("behind_trailer").boolean(report.extent.behind_trailer);
        json.key("version");
        if (report.version != 0) {
            json.number(std::int64_t{report.version});
        } else {
            json.null();
        }
        json.end_object();
    } else {
        json.null();
    }
    json.key("header");
    if (report.header_read) {
        const HeaderV2& h = report.header;
        json.begin_object();
        json.key("cipher_len").number(std::uint64_t{h.cipher_len});
        json.key("plain_len").number(std::uint64_t{h.plain_len});
        json.key("flags").number(std::uint64_t{h.flags});
        json.key("readonly").boolean((h.flags & 1) != 0);
        json.key("maximized").boolean((h.flags & 2) != 0);
        json.key("width").number(std::uint64_t{h.width});
        json.key("height").number(std::uint64_t{h.height});
        json.key("iv").hex(h.iv, sizeof h.iv);
        json.key("stored_hash").hex(h.wanted_hash, sizeof h.wanted_hash);
        json.end_object();
    } else {
        json.null();
    }
    json.key("reason");
    if (report.no_document != NoDocument::none) {
        json.string(no_document_reason(report.no_document).code);
    } else {
        json.null();
    }
}

std::string report_json(const char* path, const DocumentReport& report, const verdict::Verdict& v) {
    std::string text;
    JsonWriter json(text);
    json.begin_object();
    write_found_members(json, path, report);
    json.key("computed_hash");
    if (report.decrypted) {
        json.hex(report.computed_hash, sizeof report.computed_hash);
    } else {
        json.null();
    }
    json.key("padding");
    if (report.decrypted) {
        json.string(padding_code(report.padding));
    } else {
        json.null();
    }
    json.key("verdict").string(verdict::conclusion_code(v.conclusion));
    json.key("wrong_password_chance_log2");
    if (v.wrong_password_chance_log2) {
        json.number(*v.wrong_password_chance_log2, 1);
    } else {
        json.null();
    }
    json.key("evidence");
    if (v.judgement) {
        const verdict::TextJudgement& j = *v.judgement;
        json.begin_object();
        json.key("blocks").number(std::uint64_t{j.blocks});
        json.key("judged_blocks").number(std::uint64_t{j.judged_blocks});
        json.key("text_blocks").number(std::uint64_t{j.text_blocks});
        json.key("strong_text_blocks").number(std::uint64_t{j.strong_text_blocks});
        json.key("padding_bytes").number(std::uint64_t{j.padding_length});
        json.key("padding_well_formed").boolean(j.padding_well_formed);
        json.end_object();
    } else {
        json.null();
    }
    write_damage(json, v);
    write_hints(json, v);
    json.key("more_signatures").number(v.unlisted_signatures);
    json.end_object();
    return text;
}
