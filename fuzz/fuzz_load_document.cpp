// Runs the tool's whole load on arbitrary files and checks what comes back against the header's
// own claims, so a reader that returns a document it should have refused (or the reverse, or one
// with a text longer than the header allows) stops the run, not only a crash.
//
// Input: the first byte is the password length n, the next n bytes (fewer when the input is
// shorter) are the password, and everything after them is the file.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/load_document.h"
#include "crypto/aes/aes.h"
#include "document/read_document_v2.h"
#include "platform/little_endian.h"
#include "secure/Plaintext.h"

namespace {

using platform::load_le32;

// One in-memory file rewritten for every input: the fuzzer should not wait on a disk.
int memory_file = -1;
std::string memory_file_path;

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "fuzz_load_document: %s\n", what);
    std::abort();
}

// What a careful reader must make of `file`, worked out here from the bytes alone.
struct Expected {
    bool document = false;
    std::uint32_t plain_len = 0;
    std::uint32_t flags = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

Expected expect(const std::uint8_t* file, std::size_t size) {
    Expected expected;
    if (size < 8) {
        return expected;
    }
    std::size_t start = 0;
    if (load_le32(file + size - 8) == container_trailer_magic) {
        const std::uint32_t length = load_le32(file + size - 4);
        if (length > size - 8) {
            return expected;
        }
        start = size - 8 - length;
    }
    if (size - start < header_v2_size ||
        std::memcmp(file + start, header_v2_signature, sizeof header_v2_signature) != 0) {
        return expected;
    }
    const std::uint8_t* header = file + start;
    const std::uint32_t cipher_len = load_le32(header + 56);
    expected.plain_len = load_le32(header + 60);
    expected.flags = load_le32(header + 64);
    expected.width = load_le32(header + 68);
    expected.height = load_le32(header + 72);
    expected.document = cipher_len <= size - start - header_v2_size && cipher_len % 16 == 0 &&
                        expected.plain_len <= cipher_len;
    return expected;
}

void write_memory_file(const std::uint8_t* bytes, std::size_t size) {
    if (::ftruncate(memory_file, 0) != 0) {
        violated("cannot empty the in-memory file");
    }
    for (std::size_t done = 0; done < size;) {
        const ssize_t written =
            ::pwrite(memory_file, bytes + done, size - done, static_cast<off_t>(done));
        if (written <= 0) {
            violated("cannot fill the in-memory file");
        }
        done += static_cast<std::size_t>(written);
    }
}

void check_document(const Document& document, const Expected& expected) {
    if (document.text_count() != 1) {
        violated("a document must hold exactly one text");
    }
    // The text is the decrypted payload trimmed to the header's plaintext length.
    if (document.text(0).size() > expected.plain_len) {
        violated("text 0 is longer than the header's plaintext length");
    }
    if (document.text(0).size() != expected.plain_len) {
        violated("text 0 is not trimmed to the header's plaintext length");
    }
    const Document::Properties properties = document.all_properties();
    if (properties.size() != 4) {
        violated("a document must carry exactly four properties");
    }
    const std::string readonly = (expected.flags & 1) != 0 ? "1" : "0";
    const std::string maximized = (expected.flags & 2) != 0 ? "1" : "0";
    if (document.property("readonly") != readonly || document.property("maximized") != maximized) {
        violated("readonly/maximized do not follow the header flags");
    }
    if (document.property("width") != std::to_string(static_cast<std::int32_t>(expected.width)) ||
        document.property("height") != std::to_string(static_cast<std::int32_t>(expected.height))) {
        violated("width/height do not follow the header");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The transcript is not what is checked; formatting it into /dev/null keeps the run CPU-bound.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        violated("cannot silence standard output");
    }
    memory_file = ::memfd_create("notediag-fuzz", MFD_CLOEXEC);
    if (memory_file < 0) {
        violated("cannot create the in-memory file");
    }
    memory_file_path = "/proc/self/fd/" + std::to_string(memory_file);
    aes_tables_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t rest = size == 0 ? 0 : size - 1;
    const std::uint8_t* password = size == 0 ? data : data + 1;
    const std::size_t password_length = size == 0 ? 0 : std::min<std::size_t>(data[0], rest);
    const std::uint8_t* file = password + password_length;
    const std::size_t file_size = rest - password_length;
    write_memory_file(file, file_size);

    // The password may hold zero bytes, so it is copied by length, not as a C string.
    Plaintext key;
    key.resize(static_cast<std::uint32_t>(password_length));
    if (password_length != 0) {
        std::memcpy(key.data(), password, password_length);
    }

    const Expected expected = expect(file, file_size);
    const auto document = load_document(memory_file_path, key);
    if ((document != nullptr) != expected.document) {
        violated(expected.document ? "a sound document was refused"
                                   : "a document came back from a file that holds none");
    }
    if (document) {
        check_document(*document, expected);
    }
    return 0;
}
