#include "output/json_writer.h"

#include <cmath>
#include <cstdio>

#include "platform/check.h"
#include "platform/hex_digits.h"

namespace {

// The length of the valid UTF-8 sequence at `at` (before `end`), 0 when there is none.
std::size_t utf8_length(const unsigned char* at, const unsigned char* end) {
    const unsigned char lead = *at;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (static_cast<std::size_t>(end - at) < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at[i] < (i == 1 ? low : 0x80) || at[i] > (i == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

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
            const std::size_t length = utf8_length(at, end);
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
