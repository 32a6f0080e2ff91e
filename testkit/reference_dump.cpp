#include "testkit/reference_dump.h"

#include <cstdio>

namespace testsupport {

std::string reference_dump(const std::uint8_t* data, std::size_t count, std::uint32_t base) {
    std::string out;
    char cell[16];
    for (std::size_t line = 0; line < count; line += 16) {
        std::snprintf(cell, sizeof cell, "%08X:  ", static_cast<unsigned>(base + line));
        out += cell;
        for (std::size_t i = 0; i < 16; ++i) {
            if (line + i < count) {
                std::snprintf(cell, sizeof cell, "%02x ", data[line + i]);
                out += cell;
            } else {
                out += "   ";
            }
            if (i == 7)
                out += ' ';
        }
        for (std::size_t i = line; i < count && i < line + 16; ++i) {
            out += (data[i] >= 0x20 && data[i] <= 0x7E) ? static_cast<char>(data[i]) : '.';
        }
        out += '\n';
    }
    return out;
}

}  // namespace testsupport
