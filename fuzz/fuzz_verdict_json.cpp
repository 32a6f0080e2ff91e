// The verdict and the JSON report on arbitrary files: the report must be valid JSON (checked here
// by a strict reader of the grammar, independent of the writer), and the verdict must be what its
// evidence allows: intact exactly when the check hash matches, "the password is right" only with a
// chance below 2^-40 or a plaintext length that the check hash confirms, checked again here.
//
// Input: as fuzz/note_input.h reads it, a password, then the file.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/load_document.h"
#include "app/report_json.h"
#include "crypto/aes/aes.h"
#include "document/format.h"
#include "fuzz/note_input.h"
#include "platform/little_endian.h"
#include "verdict/verdict.h"

namespace {

fuzzing::MemoryFile* memory_file = nullptr;

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "fuzz_verdict_json: %s\n", what);
    std::abort();
}

// A strict reader of the JSON grammar (RFC 8259): true when `text` is one value and nothing else.
class Json {
  public:
    explicit Json(const std::string& text) : s_(text) {}
    bool valid() { return value() && (space(), at_ == s_.size()); }

  private:
    void space() {
        while (at_ < s_.size() && std::strchr(" \t\n\r", s_[at_]) != nullptr) {
            ++at_;
        }
    }
    bool take(char c) {
        space();
        if (at_ < s_.size() && s_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool word(const char* w) {
        const std::size_t n = std::strlen(w);
        if (s_.compare(at_, n, w) == 0) {
            at_ += n;
            return true;
        }
        return false;
    }
    bool digits() {
        const std::size_t from = at_;
        while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') {
            ++at_;
        }
        return at_ > from;
    }
    bool number() {
        take('-');
        if (at_ < s_.size() && s_[at_] == '0') {
            ++at_;
        } else if (!digits()) {
            return false;
        }
        if (at_ < s_.size() && s_[at_] == '.' && (++at_, !digits())) {
            return false;
        }
        if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
            ++at_;
            if (at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-')) {
                ++at_;
            }
            return digits();
        }
        return true;
    }
    bool string() {
        if (!take('"')) {
            return false;
        }
        while (at_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[at_++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                if (at_ >= s_.size()) {
                    return false;
                }
                const char e = s_[at_++];
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i) {
                        if (at_ >= s_.size() ||
                            std::isxdigit(static_cast<unsigned char>(s_[at_++])) == 0) {
                            return false;
                        }
                    }
                } else if (std::strchr("\"\\/bfnrt", e) == nullptr) {
                    return false;
                }
            }
        }
        return false;
    }
    bool value() {
        space();
        if (at_ >= s_.size()) {
            return false;
        }
        switch (s_[at_]) {
            case '{':
                ++at_;
                if (take('}')) {
                    return true;
                }
                do {
                    if (!string() || !take(':') || !value()) {
                        return false;
                    }
                } while (take(','));
                return take('}');
            case '[':
                ++at_;
                if (take(']')) {
                    return true;
                }
                do {
                    if (!value()) {
                        return false;
                    }
                } while (take(','));
                return take(']');
            case '"':
                return string();
            case 't':
                return word("true");
            case 'f':
                return word("false");
            case 'n':
                return word("null");
            default:
                return number();
        }
    }

    const std::string& s_;
    std::size_t at_ = 0;
};

struct Judged {
    DocumentReport report;
    verdict::Verdict verdict;
};

Judged judge(const Plaintext& key) {
    file::Input input = file::open_input(memory_file->path().c_str());
    verdict::Witness witness;
    Judged j;
    load_document(input, key, witness, j.report);
    j.verdict = verdict::reach_verdict(j.report, witness, *input.file, key);
    return j;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    memory_file = new fuzzing::MemoryFile("notediag-fuzz-verdict");
    aes_tables_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::NoteInput in = fuzzing::split_note_input(data, size);
    memory_file->write(in.file, in.file_size);
    const Plaintext key = fuzzing::key_of(in);

    const Judged j = judge(key);
    const std::string report = report_json(memory_file->path().c_str(), j.report, j.verdict);
    if (!Json(report).valid()) {
        std::fprintf(stderr, "%s\n", report.c_str());
        violated("the report is not valid JSON");
    }
    using verdict::Conclusion;
    const Conclusion c = j.verdict.conclusion;
    if ((c == Conclusion::no_document) != (j.report.no_document != NoDocument::none) ||
        (c == Conclusion::intact) !=
            (j.report.no_document == NoDocument::none && j.report.check_hash_matches)) {
        violated("the conclusion contradicts the record");
    }
    if (c != Conclusion::damaged) {
        return 0;
    }
    // "The password is right": stated chance below 2^-40, or a length the hash confirms.
    if (j.verdict.wrong_password_chance_log2) {
        if (!(*j.verdict.wrong_password_chance_log2 < -40)) {
            violated("right on a chance above 2^-40");
        }
        return 0;
    }
    const auto hint = std::find_if(
        j.verdict.hints.begin(), j.verdict.hints.end(),
        [](const verdict::Hint& h) { return h.kind == verdict::Hint::Kind::plain_len; });
    if (hint == j.verdict.hints.end()) {
        violated("right without a chance and without a confirmed length");
    }
    std::string patched(reinterpret_cast<const char*>(in.file), in.file_size);
    const std::size_t field = j.report.extent.start + header_v2::plain_len;
    platform::store_le32(patched.data() + field, static_cast<std::uint32_t>(hint->value));
    memory_file->write(reinterpret_cast<const std::uint8_t*>(patched.data()), patched.size());
    if (judge(key).verdict.conclusion != Conclusion::intact) {
        violated("the length the hint names does not make the check hash match");
    }
    return 0;
}
