// Runs the tool's whole load on arbitrary files, both as the transcript reads (the payload whole,
// every stage printed) and as the bounded outputs do (in pieces), and checks what comes back
// against a prediction worked out here from the bytes alone: whether there is a document, why not
// (with the numbers the verdict quotes), and for a document the check-hash and padding verdict and
// the text itself. A reader that returns a document it should have refused (or the reverse), says
// the wrong thing about it, or returns the wrong text stops the run, not only a crash.
//
// The prediction decrypts and hashes with the project's own AES and SHA-256, which their vector
// and libcrypto tests check; what is checked here independently is everything around them.
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
#include <vector>

#include "app/load_document.h"
#include "app/transcript_observer.h"
#include "app/verdict.h"
#include "crypto/aes/aes.h"
#include "crypto/aes/aes_modes.h"
#include "crypto/sha256.h"
#include "document/read_document_v2.h"
#include "document/reasons.h"
#include "fuzz/note_input.h"
#include "platform/little_endian.h"
#include "secure/Plaintext.h"

namespace {

using platform::load_le32;

fuzzing::MemoryFile* memory_file = nullptr;

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "fuzz_load_document: %s\n", what);
    std::abort();
}

// What a careful reader must make of `file`, worked out here from the bytes alone.
struct Expected {
    DocumentReport report;
    std::string text;  // of a document: the decrypted payload trimmed to its plaintext length
    std::uint32_t flags = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The decrypted payload under `password`, and how its check hash and padding come out.
void predict_decryption(const std::uint8_t* header, const std::uint8_t* password,
                        std::size_t password_length, Expected& expected) {
    DocumentReport& f = expected.report;
    std::uint8_t key[32];
    sha256_digest(key, password, password_length);
    AesDecryptContext context{};
    aes_decrypt_schedule_256(key, context);
    std::uint8_t chain[16];
    std::memcpy(chain, header + header_v2::iv, sizeof chain);
    const std::uint32_t cipher_len = f.header.cipher_len;
    std::vector<std::uint8_t> plain(cipher_len);
    if (cipher_len != 0) {
        aes_modes_cbc_decrypt(header + header_v2::payload, plain.data(),
                              static_cast<int>(cipher_len), chain, context);
    }
    expected.text.assign(plain.begin(), plain.begin() + f.header.plain_len);

    const std::uint32_t extra = cipher_len - f.header.plain_len;
    const auto tail_is = [&](std::uint8_t value) {
        return std::all_of(plain.end() - extra, plain.end(),
                           [=](std::uint8_t byte) { return byte == value; });
    };
    if (extra == 0) {
        f.padding = Padding::absent;
    } else if ((extra <= 16 && tail_is(static_cast<std::uint8_t>(extra))) ||
               (extra < 16 && tail_is(0))) {
        f.padding = Padding::well_formed;
    } else {
        f.padding = Padding::malformed;
    }

    std::string hashed = expected.text;
    hashed.append(reinterpret_cast<const char*>(header + header_v2::iv), 16);
    std::uint8_t check[32];
    sha256_digest(check, hashed.data(), hashed.size());
    f.check_hash_matches = std::memcmp(check, header + header_v2::wanted_hash, sizeof check) == 0;
}

Expected expect(const std::uint8_t* file, std::size_t size, const std::uint8_t* password,
                std::size_t password_length) {
    Expected expected;
    DocumentReport& f = expected.report;
    const auto none = [&](NoDocument reason) {
        f.no_document = reason;
        return expected;
    };
    f.input_size = size;
    if (size < container_trailer::size) {
        return none(NoDocument::file_too_short);
    }
    std::size_t start = 0;
    std::size_t length = size;
    const std::uint8_t* trailer = file + size - container_trailer::size;
    if (load_le32(trailer + container_trailer::magic) == container_trailer_magic) {
        f.trailer_length = f.document_bytes = load_le32(trailer + container_trailer::length);
        f.bytes_before_trailer = static_cast<std::uint32_t>(size - container_trailer::size);
        if (f.trailer_length > f.bytes_before_trailer) {
            return none(NoDocument::trailer_too_long);
        }
        if (f.trailer_length < sizeof header_v2_signature) {
            return none(NoDocument::document_too_short);
        }
        length = f.trailer_length;
        start = f.bytes_before_trailer - length;
    }
    const std::uint8_t* header = file + start;
    std::memcpy(f.signature, header + header_v2::signature, sizeof f.signature);
    if (std::memcmp(header, header_v1_signature, sizeof header_v1_signature) == 0) {
        return none(NoDocument::version_1);
    }
    if (std::memcmp(header, header_v2_signature, sizeof header_v2_signature) != 0) {
        return none(NoDocument::unknown_signature);
    }
    if (length < header_v2_size) {
        f.header_bytes_held = static_cast<std::uint32_t>(length);
        return none(NoDocument::header_cut_off);
    }
    f.header.cipher_len = load_le32(header + header_v2::cipher_len);
    f.header.plain_len = load_le32(header + header_v2::plain_len);
    f.bytes_after_header = static_cast<std::uint32_t>(length - header_v2_size);
    if (f.header.cipher_len > f.bytes_after_header) {
        return none(NoDocument::ciphertext_past_end);
    }
    if (f.header.cipher_len % 16 != 0) {
        return none(NoDocument::ciphertext_not_whole_blocks);
    }
    if (f.header.plain_len > f.header.cipher_len) {
        return none(NoDocument::plaintext_too_long);
    }
    expected.flags = load_le32(header + header_v2::flags);
    expected.width = load_le32(header + header_v2::width);
    expected.height = load_le32(header + header_v2::height);
    predict_decryption(header, password, password_length, expected);
    return expected;
}

// The bounded reading's text, as it is handed on.
class TextOnly : public ReadObserver {
  public:
    void text(const std::uint8_t* bytes, std::size_t count) override {
        received.append(reinterpret_cast<const char*>(bytes), count);
    }
    std::string received;
};

void check_document(const Document& document, const Expected& expected) {
    if (document.text_count() != 1) {
        violated("a document must hold exactly one text");
    }
    // The text is the decrypted payload trimmed to the header's plaintext length.
    const Plaintext& text = document.text(0);
    if (text.size() > expected.text.size()) {
        violated("text 0 is longer than the header's plaintext length");
    }
    if (text.size() != expected.text.size()) {
        violated("text 0 is not trimmed to the header's plaintext length");
    }
    if (text.size() != 0 && std::memcmp(text.data(), expected.text.data(), text.size()) != 0) {
        violated("text 0 is not the decrypted payload");
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
    memory_file = new fuzzing::MemoryFile("notediag-fuzz");
    aes_tables_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::NoteInput in = fuzzing::split_note_input(data, size);
    memory_file->write(in.file, in.file_size);
    const Plaintext key = fuzzing::key_of(in);

    const Expected expected = expect(in.file, in.file_size, in.password, in.password_length);
    const bool expected_document = expected.report.no_document == NoDocument::none;
    // The transcript's reading (the whole payload, every stage printed) and the bounded one (in
    // pieces, nothing printed) must both establish what the prediction says.
    TranscriptObserver transcript;
    DocumentReport whole;
    whole.header.cipher_len = 0xDEADBEEF;  // the load must start from a clean record
    const auto document = load_document(memory_file->path(), key, transcript, whole);
    if ((document != nullptr) != expected_document) {
        violated(expected_document ? "a sound document was refused"
                                   : "a document came back from a file that holds none");
    }
    TextOnly pieces;
    DocumentReport bounded;
    if (load_document(memory_file->path(), key, pieces, bounded) != nullptr) {
        violated("the bounded reading built a document");
    }
    for (const DocumentReport* report : {&whole, &bounded}) {
        // The reason quotes exactly the numbers its case needs, so equal words mean equal
        // findings wherever they are reported.
        if (report->no_document != expected.report.no_document ||
            describe_no_document(*report) != describe_no_document(expected.report)) {
            std::fprintf(stderr, "expected: %s\nreported: %s\n",
                         describe_no_document(expected.report).c_str(),
                         describe_no_document(*report).c_str());
            violated("the reason differs from the prediction");
        }
        if (expected_document && report->check_hash_matches != expected.report.check_hash_matches) {
            violated("the check hash is judged wrongly");
        }
        if (check_status(*report) != check_status(expected.report)) {
            violated("the --check exit status differs from the prediction");
        }
        if (expected_document && report->padding != expected.report.padding) {
            violated("the padding is judged wrongly");
        }
    }
    if (document) {
        check_document(*document, expected);
    }
    if (expected_document && pieces.received != expected.text) {
        violated("the text handed on in pieces is not the decrypted payload");
    }
    return 0;
}
