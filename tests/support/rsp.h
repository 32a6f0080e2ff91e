// Reader for NIST CAVP response files (.rsp), kept exactly as published: one harness runs every
// vector file, so adding a case means adding data, not code.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

struct RspRecord {
    std::string section;  // the last "[...]" header seen, without brackets
    std::map<std::string, std::string>
        fields;    // "KEY = value" lines of one blank-line-separated block
    int line = 0;  // first line of the record, for failure messages

    bool has(const std::string& name) const { return fields.count(name) != 0; }
    const std::string& at(const std::string& name) const;
};

// Parses the file at `path`; fails the calling test (and returns nothing) when it cannot be read.
std::vector<RspRecord> read_rsp(const std::string& path);

// Full path of a file in the tests' data directory.
std::string test_data(std::string_view name);

std::vector<std::uint8_t> from_hex(std::string_view hex);
std::string to_hex(const std::uint8_t* data, std::size_t size);
inline std::string to_hex(const std::vector<std::uint8_t>& bytes) {
    return to_hex(bytes.data(), bytes.size());
}

}  // namespace testsupport
