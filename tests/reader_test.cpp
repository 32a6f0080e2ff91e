// Version-2 documents end to end: built with libcrypto, read by the built tool, whole standard
// output compared byte for byte with the predicted transcript.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/load_document.h"
#include "crypto/aes/aes.h"
#include "crypto/sha256.h"
#include "document/read_observer.h"
#include "support/case_name.h"
#include "support/rsp.h"
#include "support/run_tool.h"
#include "support/temp_file.h"
#include "support/transcript_match.h"
#include "testkit/hostile_files.h"
#include "testkit/note_builder.h"
#include "testkit/reference_dump.h"
#include "testkit/verdict_lines.h"

namespace {

using namespace testsupport;

const std::string matches = verdict::line(verdict::matches);
const std::string damaged_document = verdict::line(verdict::damaged);
const std::string either = verdict::line(verdict::undecided);

struct SoundCase {
    const char* name;
    const std::string* verdict;
    Note note;
    std::string host;  // bytes in front of a document carried behind a trailer
    bool behind_trailer = false;
    std::string password_used;         // empty: the note's own password
    void (*tamper)(std::string&) = 0;  // changes the built document
};

using testsupport::PrintTo;

SoundCase sound(const char* name, const std::string& verdict, Note note, std::string host = "",
                bool behind_trailer = false, std::string password_used = "") {
    return {
        name, &verdict, std::move(note), std::move(host), behind_trailer, std::move(password_used)};
}

SoundCase tampered(const char* name, const std::string& verdict, Note note,
                   void (*tamper)(std::string&)) {
    SoundCase c = sound(name, verdict, std::move(note));
    c.tamper = tamper;
    return c;
}

Note note_with(void (*change)(Note&)) {
    Note note;
    change(note);
    return note;
}

class SoundDocument : public ::testing::TestWithParam<SoundCase> {};

TEST_P(SoundDocument, TranscriptMatchesByteForByte) {
    const SoundCase& c = GetParam();
    std::string document = build_note(c.note);
    if (c.tamper != nullptr)
        c.tamper(document);
    const std::string file =
        c.behind_trailer ? c.host + document + trailer(static_cast<std::uint32_t>(document.size()))
                         : document;
    const std::string password = c.password_used.empty() ? c.note.password : c.password_used;
    TempDir dir;
    const auto run = run_tool({dir.write("note", file), password});
    EXPECT_EQ(run.status, 0);
    // The verdict's first line; what follows it is the verdict test's.
    EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), *c.verdict);
    const std::string expected = expected_transcript(document, password);
    EXPECT_PRED_FORMAT2(SameTranscript, expected, run.out);
    const int check_status = *c.verdict == matches ? 0 : 3;
    EXPECT_EQ(run_tool({"-cq", dir.file("note"), password}).status, check_status);
}

std::string random_text(std::size_t size) {
    std::mt19937 generator(20261207);
    std::string text(size, '\0');
    for (auto& byte : text)
        byte = static_cast<char>(generator());
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SoundDocument,
    ::testing::Values(
        sound("Plain", matches, Note{}),
        sound("BehindTrailer", matches, Note{}, std::string(1000, '\x7f') + "host file", true),
        sound("BehindTrailerAtStart", matches, Note{}, "", true),
        sound("WindowSizeWithTopBitSet", matches, note_with([](Note& n) {
                  n.width = 0x80000000;
                  n.height = 0xFFFFFFFF;
              })),
        sound("EmptyPassword", matches, note_with([](Note& n) { n.password = ""; })),
        sound("ZeroByteInsideText", matches,
              note_with([](Note& n) { n.text = std::string("before\0after", 12); })),
        // One block, or three, are too short to judge a password by.
        sound("WrongPassword", either, Note{}, "", false, "not the secret"),
        sound("WholeBlocksWithoutPadding", matches, note_with([](Note& n) {
                  n.text = std::string(48, 'b');
                  n.pad = Pad::none;
              })),
        sound("WrongPasswordWithoutPadding", either, note_with([](Note& n) {
                  n.text = std::string(48, 'b');
                  n.pad = Pad::none;
              }),
              "", false, "not the secret"),
        sound("EmptyTextWithPaddingBlock", matches, note_with([](Note& n) { n.text = ""; })),
        sound("ZeroPadding", matches, note_with([](Note& n) { n.pad = Pad::zeros; })),
        tampered("DamagedStoredHash", either, Note{},
                 [](std::string& d) { damage(d, header_v2::wanted_hash + 31); }),
        tampered("DamagedHashOfZeroPadding", either, note_with([](Note& n) { n.pad = Pad::zeros; }),
                 [](std::string& d) { damage(d, header_v2::wanted_hash); }),
        tampered("DamagedFirstCiphertextBlock", damaged_document,
                 note_with([](Note& n) { n.text = std::string(40, 't'); }),
                 [](std::string& d) { damage(d, header_v2::payload + 3); }),
        // Sixteen zero bytes are no padding, nor is one of more than sixteen bytes; but the check
        // hash matches with the plaintext length the text had, which proves the password.
        tampered("SixteenZeroBytes", damaged_document, note_with([](Note& n) {
                     n.text = std::string(16, 's') + std::string(16, '\0');
                     n.pad = Pad::none;
                 }),
                 [](std::string& d) { patch_le32(d, header_v2::plain_len, 16); }),
        tampered("SeventeenPaddingBytes", damaged_document,
                 note_with([](Note& n) { n.text = std::string(20, 's'); }),
                 [](std::string& d) { patch_le32(d, header_v2::plain_len, 15); }),
        sound("ThreeMebibytes", matches,
              note_with([](Note& n) { n.text = random_text(3 << 20); }))),
    CaseName{});

struct DamagedCase {
    const char* name;
    std::string document;
    const char* whoops;     // the one diagnostic line
    bool after_ciphertext;  // printed after the ciphertext dump rather than after the header
    const char* reason;     // of the verdict "no document: ..."
    bool behind_trailer = false;
};

std::string damaged(std::uint32_t cipher_len, std::uint32_t plain_len, std::size_t keep = 0) {
    std::string document = build_note(Note{});
    patch_le32(document, header_v2::cipher_len, cipher_len);
    patch_le32(document, header_v2::plain_len, plain_len);
    if (keep != 0)
        document.resize(keep);
    return document;
}

class DamagedHeader : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedHeader, PrintsOneWhoopsLineAndYieldsNoDocument) {
    const DamagedCase& c = GetParam();
    TempDir dir;
    const std::string file =
        c.behind_trailer
            ? "host" + c.document + trailer(static_cast<std::uint32_t>(c.document.size()))
            : c.document;
    const auto run = run_tool({dir.write("note", file), "secret"});
    std::string expected = key_line("secret") + header_lines(c.document);
    if (c.after_ciphertext) {
        const std::size_t cipher_len = c.document.size() - header_v2_size;
        expected += "ciphertext:\n" + reference_dump(c.document.substr(header_v2_size, cipher_len));
    }
    expected += std::string("whoops, ") + c.whoops + "\nerror loading :(\n";
    EXPECT_EQ(run.status, 0);
    EXPECT_PRED_FORMAT2(SameTranscript, expected, run.out);
    EXPECT_EQ(run.err, std::string("notediag: no document: ") + c.reason + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedHeader,
    ::testing::Values(
        DamagedCase{"CipherLenPastEnd", damaged(48, 12, header_v2_size + 32),
                    "ciphertext runs past the end of the file", false,
                    "the header claims 48 bytes of ciphertext, but only 32 follow it"},
        DamagedCase{"FourGiBClaimedByAHundredByteFile", damaged(0xFFFFFFFF, 12, 100),
                    "ciphertext runs past the end of the file", false,
                    "the header claims 4294967295 bytes of ciphertext, but only 24 follow it"},
        DamagedCase{"PastEndWinsOverOddLength", damaged(17, 40, header_v2_size + 16),
                    "ciphertext runs past the end of the file", false,
                    "the header claims 17 bytes of ciphertext, but only 16 follow it"},
        // The trailer's own bytes are no ciphertext: the document ends where the trailer begins.
        DamagedCase{"PastEndOfDocumentBehindTrailer", damaged(24, 12, header_v2_size + 16),
                    "ciphertext runs past the end of the document", false,
                    "the header claims 24 bytes of ciphertext, but only 16 follow it", true},
        DamagedCase{"NotAMultipleOf16", damaged(15, 12, header_v2_size + 15),
                    "ciphertext length is not a multiple of 16", true,
                    "the ciphertext length 15 is not a multiple of 16"},
        DamagedCase{"OddLengthWinsOverLongPlaintext", damaged(17, 40, header_v2_size + 17),
                    "ciphertext length is not a multiple of 16", true,
                    "the ciphertext length 17 is not a multiple of 16"},
        DamagedCase{"PlaintextLongerThanCiphertext", damaged(16, 17, header_v2_size + 16),
                    "plaintext length exceeds ciphertext length", true,
                    "the plaintext length 17 exceeds the ciphertext length 16"}),
    CaseName{});

TEST(DamagedHeader, HeaderCutOff) {
    TempDir dir;
    for (std::size_t keep : {8, 40, 75}) {
        for (const bool behind_trailer : {false, true}) {
            // Behind a trailer the header must not borrow the trailer's bytes either.
            const std::string document = build_note(Note{}).substr(0, keep);
            const std::string file =
                behind_trailer ? document + trailer(static_cast<std::uint32_t>(keep)) : document;
            const auto run = run_tool({dir.write("note", file), "pw"});
            EXPECT_EQ(run.out, key_line("pw") + "whoops, header cut off\nerror loading :(\n")
                << keep;
            EXPECT_EQ(run.err, "notediag: no document: the header is cut off: the document holds " +
                                   std::to_string(keep) + " of its 76 bytes\n");
        }
    }
}

TEST(EmptyDocument, ZeroCiphertextIsASoundEmptyText) {
    const std::string document = damaged(0, 0, header_v2_size);
    TempDir dir;
    const auto run = run_tool({dir.write("note", document), "secret"});
    EXPECT_EQ(run.status, 0);
    EXPECT_PRED_FORMAT2(SameTranscript, expected_transcript(document, "secret"), run.out);
    EXPECT_NE(run.out.find("decrypted hash:\n00000000:"), std::string::npos);
}

struct PropertyCase {
    std::uint32_t flags, width, height;
    const char *readonly, *maximized, *width_text, *height_text;
};
void PrintTo(const PropertyCase& c, std::ostream* os) {
    *os << "flags " << c.flags << ", " << c.width << "x" << c.height;
}

class DocumentProperties : public ::testing::TestWithParam<PropertyCase> {};

TEST_P(DocumentProperties, ComeFromTheHeader) {
    const PropertyCase& c = GetParam();
    Note note;
    note.flags = c.flags;
    note.width = c.width;
    note.height = c.height;
    TempDir dir;
    const std::string path = dir.write("note", build_note(note));
    aes_tables_init();
    Plaintext key;
    assign_c_string(key, note.password.c_str(), false);
    testing::internal::CaptureStdout();
    const auto document = load_document(path, key);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->property("readonly"), c.readonly);
    EXPECT_EQ(document->property("maximized"), c.maximized);
    EXPECT_EQ(document->property("width"), c.width_text);
    EXPECT_EQ(document->property("height"), c.height_text);
    EXPECT_EQ(document->all_properties().size(), 4u);
    EXPECT_EQ(document->text_count(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DocumentProperties,
    ::testing::Values(PropertyCase{3, 800, 600, "1", "1", "800", "600"},
                      PropertyCase{4, 0, 1, "0", "0", "0", "1"},
                      PropertyCase{1, 0x80000000, 0xFFFFFFFF, "1", "0", "-2147483648", "-1"},
                      PropertyCase{0xFFFFFFFE, 1024, 768, "0", "1", "1024", "768"}),
    CaseName{});

// The bounded reading (in pieces, for outputs without dumps) establishes what the whole reading
// does, byte for byte: the same record and the same text, for every hostile file and for payloads
// around the piece size.
class Recording : public ReadObserver {
  public:
    explicit Recording(bool whole) : whole_(whole) {}
    bool wants_whole_payload() const override { return whole_; }
    void text(const std::uint8_t* bytes, std::size_t count) override {
        text_.append(reinterpret_cast<const char*>(bytes), count);
    }
    void hash_resume(const Sha256Context& state, std::uint32_t prefix_length,
                     const std::uint8_t* tail, std::uint32_t tail_length) override {
        Sha256Context resumed = state;
        sha256_add(resumed, tail, tail_length);
        std::uint8_t whole[32];
        sha256_end(resumed, whole);
        resumed_.assign(whole, whole + 32);
        prefix_length_ = prefix_length;
    }

    bool whole_;
    std::string text_;
    std::vector<std::uint8_t> resumed_;  // SHA-256 of the whole decrypted payload
    std::uint32_t prefix_length_ = 0;
};

auto record(const DocumentReport& r) {
    return std::make_tuple(
        r.no_document, r.input_size, r.trailer_found, r.trailer_length, r.bytes_before_trailer,
        r.located, r.extent.start, r.extent.length, r.extent.behind_trailer, r.document_bytes,
        std::string(r.signature, r.signature + 8), r.version, r.header_read, r.header.cipher_len,
        r.header.plain_len, r.header_bytes_held, r.bytes_after_header, r.decrypted,
        r.payload_length, r.padding, std::string(r.computed_hash, r.computed_hash + 32),
        r.check_hash_matches);
}

void expect_same_reading(const std::string& file, const std::string& password,
                         const std::string& name) {
    TempDir dir;
    const std::string path = dir.write("note", file);
    aes_tables_init();
    Plaintext key;
    key.resize(static_cast<std::uint32_t>(password.size()));
    std::copy(password.begin(), password.end(), key.data());
    Recording whole(true), pieces(false);
    DocumentReport whole_report, pieces_report;
    const auto document = load_document(path, key, whole, whole_report);
    EXPECT_EQ(load_document(path, key, pieces, pieces_report), nullptr) << name;
    EXPECT_EQ(record(whole_report), record(pieces_report)) << name;
    EXPECT_EQ(document != nullptr, whole_report.no_document == NoDocument::none) << name;
    if (document) {
        const Plaintext& text = document->text(0);
        EXPECT_EQ(pieces.text_, std::string(text.data(), text.data() + text.size())) << name;
    }
    EXPECT_EQ(whole.resumed_, pieces.resumed_) << name;
    EXPECT_EQ(whole.prefix_length_, pieces.prefix_length_) << name;
}

TEST(ReaderRecord, PiecesEstablishWhatTheWholeReadingDoes) {
    for (const HostileFile& file : hostile_files()) {
        expect_same_reading(file.bytes, file.password, file.name);
    }
    for (const std::size_t size :
         {read_piece_size - 1, read_piece_size + 15, 2 * read_piece_size}) {
        Note note;
        note.text = random_text(size);
        std::string document = build_note(note);
        expect_same_reading(document, note.password, "text of " + std::to_string(size));
        damage(document, header_v2::payload + read_piece_size - 8);
        expect_same_reading(document, note.password, "damaged at the seam");
        expect_same_reading(document, "not the password", "wrong password");
    }
}

}  // namespace

namespace {

TEST(ShippedExample, DecryptsWithItsPassword) {
    const std::string path = std::string(NOTEDIAG_EXAMPLES) + "/hello.note";
    const auto bytes = read_file(path);
    const std::string document(bytes.begin(), bytes.end());
    const auto run = run_tool({path, "correct horse"});
    EXPECT_PRED_FORMAT2(SameTranscript, expected_transcript(document, "correct horse"), run.out);
    EXPECT_NE(run.out.find("\nHello from notediag!"), std::string::npos);
}

// The example's transcript as one build printed it, kept byte for byte: every build, whatever its
// byte order, word size or platform, prints exactly these bytes, and the README shows them.
TEST(ShippedExample, PrintsTheRecordedTranscriptOnEveryHost) {
    const auto recorded_bytes = read_file(test_data("hello.transcript"));
    const std::string recorded(recorded_bytes.begin(), recorded_bytes.end());
    ASSERT_FALSE(recorded.empty());
    const auto run = run_tool({std::string(NOTEDIAG_EXAMPLES) + "/hello.note", "correct horse"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, matches);
    EXPECT_PRED_FORMAT2(SameTranscript, recorded, run.out);
    const auto readme = read_file(NOTEDIAG_README);
    EXPECT_NE(std::string(readme.begin(), readme.end()).find(recorded), std::string::npos)
        << "the README shows another transcript";
}

}  // namespace

namespace {

// The transcript is the contract, however the dumps are formatted: with the parallel dump forced
// on every dump (NOTEDIAG_DUMP_THREADS of 2 and more) and off (1), a note's transcript is the
// predicted one. Payloads around the parallel threshold and across several 1 MiB chunks of text,
// each with a short last line of plaintext and a padding block.
class ParallelDump : public ::testing::TestWithParam<std::tuple<const char*, std::uint32_t>> {};

TEST_P(ParallelDump, TranscriptHoldsWithTheParallelDumpForcedOnAndOff) {
    const auto [threads, text_size] = GetParam();
    Note note;
    note.text = random_text(text_size);
    const std::string document = build_note(note);
    TempDir dir;
    const auto run = run_tool({dir.write("note", document), note.password},
                              {std::string("NOTEDIAG_DUMP_THREADS=") + threads});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, matches);
    EXPECT_PRED_FORMAT2(SameTranscript, expected_transcript(document, note.password), run.out);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ParallelDump,
                         ::testing::Combine(::testing::Values("1", "2", "3"),
                                            ::testing::Values(0u, 17u, 1000u, (256u << 10) - 21u,
                                                              (256u << 10) + 1u, (1u << 20) + 9u)),
                         [](const auto& info) {
                             return std::string("Threads") + std::get<0>(info.param) + "Text" +
                                    std::to_string(std::get<1>(info.param));
                         });

// Every hostile file's transcript with the parallel dump forced is the one without it.
TEST(ParallelDump, HostileFilesPrintTheSameTranscript) {
    TempDir dir;
    for (const HostileFile& file : hostile_files()) {
        const std::string path = dir.write("note", file.bytes);
        const auto serial = run_tool({path, file.password}, {"NOTEDIAG_DUMP_THREADS=1"});
        const auto parallel = run_tool({path, file.password}, {"NOTEDIAG_DUMP_THREADS=2"});
        EXPECT_EQ(parallel.status, serial.status) << file.name;
        EXPECT_EQ(parallel.err, serial.err) << file.name;
        EXPECT_EQ(parallel.out, serial.out) << file.name;
        if (!file.transcript.empty()) {
            EXPECT_PRED_FORMAT2(SameTranscript, file.transcript, parallel.out);
        }
    }
}

}  // namespace
