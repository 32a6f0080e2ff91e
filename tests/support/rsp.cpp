#include "support/rsp.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

namespace testsupport {
namespace {

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    throw std::invalid_argument(std::string("not a hex digit: ") + c);
}

}  // namespace

const std::string& RspRecord::at(const std::string& name) const {
    const auto it = fields.find(name);
    if (it == fields.end()) {
        throw std::out_of_range("record at line " + std::to_string(line) + " has no " + name);
    }
    return it->second;
}

std::vector<RspRecord> read_rsp(const std::string& path) {
    std::ifstream in(path);
    std::vector<RspRecord> records;
    if (!in) {
        ADD_FAILURE() << "cannot read vector file " << path;
        return records;
    }
    std::string section;
    RspRecord current;
    std::string raw;
    int line_number = 0;
    auto flush = [&] {
        if (!current.fields.empty()) {
            records.push_back(std::move(current));
        }
        current = RspRecord{};
    };
    while (std::getline(in, raw)) {
        ++line_number;
        const std::string_view line = trim(raw);
        if (line.empty()) {
            flush();
        } else if (line.front() == '#') {
            continue;
        } else if (line.front() == '[') {
            flush();
            section = std::string(trim(line.substr(1, line.size() - 2)));
        } else if (const auto eq = line.find('='); eq != std::string_view::npos) {
            if (current.fields.empty()) {
                current.section = section;
                current.line = line_number;
            }
            current.fields[std::string(trim(line.substr(0, eq)))] =
                std::string(trim(line.substr(eq + 1)));
        }
    }
    flush();
    return records;
}

std::string test_data(std::string_view name) {
    return std::string(NOTEDIAG_TEST_DATA) + "/" + std::string(name);
}

std::vector<std::uint8_t> from_hex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        throw std::invalid_argument("odd number of hex digits");
    }
    std::vector<std::uint8_t> bytes(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] =
            static_cast<std::uint8_t>(hex_value(hex[2 * i]) * 16 + hex_value(hex[2 * i + 1]));
    }
    return bytes;
}

std::string to_hex(const std::uint8_t* data, std::size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text(size * 2, '0');
    for (std::size_t i = 0; i < size; ++i) {
        text[2 * i] = digits[data[i] >> 4];
        text[2 * i + 1] = digits[data[i] & 15];
    }
    return text;
}

}  // namespace testsupport
