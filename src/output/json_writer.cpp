#include "output/json_writer.h"

#include <cmath>
#include <cstdio>

#include "platform/check.h"
#include "platform/hex_digits.h"
#include "platform/utf8.h"

namespace {

void unicode_escape(std::string& out, unsigned value) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += platform::hex_digits_lower[(value >> shift) & 0xF];
    }
}

}  // namespace

void JsonWriter::separate() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!first_) {
        out_ += ',';
    }
    first_ = false;
}

JsonWriter& JsonWriter::begin_object() {
    separate();
    out_ += '{';
    first_ = true;
    return *this;
}

JsonWriter& JsonWriter::end_object() {
    out_ += '}';
    first_ = false;
    return *this;
}

JsonWriter& JsonWriter::begin_array() {
    separate();
    out_ += '[';
    first_ = true;
    return *this;
}

JsonWriter& JsonWriter::end_array() {
    out_ += ']';
    first_ = false;
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    string(name);
    out_ += ':';
    after_key_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view bytes) {
    separate();
    out_ += '"';
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = at + bytes.size();
    while (at != end) {
        const unsigned char byte = *at;
        if (byte == '"' || byte == '\\') {
            out_ += '\\';
            out_ += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            unicode_escape(out_, byte);
        } else if (byte >= 0x80) {
            const int sequence =
                platform::utf8_sequence_length(at, static_cast<std::size_t>(end - at));
            const std::size_t length = sequence > 0 ? static_cast<std::size_t>(sequence) : 0;
            if (length == 0) {
                unicode_escape(out_, 0xDC00 + byte);
            } else {
                out_.append(reinterpret_cast<const char*>(at), length);
                at += length;
                continue;
            }
        } else {
            out_ += static_cast<char>(byte);
        }
        ++at;
    }
    out_ += '"';
    return *this;
}

JsonWriter& JsonWriter::hex(const std::uint8_t* bytes, std::size_t count) {
    separate();
    out_ += '"';
    for (std::size_t i = 0; i < count; ++i) {
        out_ += platform::hex_digits_lower[bytes[i] >> 4];
        out_ += platform::hex_digits_lower[bytes[i] & 0xF];
    }
    out_ += '"';
    return *this;
}

JsonWriter& JsonWriter::number(std::uint64_t value) {
    separate();
    out_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::number(std::int64_t value) {
    separate();
    out_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::number(double value, int decimals) {
    NOTEDIAG_ASSERT(std::isfinite(value));
    separate();
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    out_ += text;
    return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
    separate();
    out_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    separate();
    out_ += "null";
    return *this;
}
