// Version-2 documents end to end: built with libcrypto, read by the built tool, whole standard
// output compared byte for byte with the predicted transcript.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "app/load_document.h"
#include "crypto/aes/aes.h"
#include "support/note_builder.h"
#include "support/reference_dump.h"
#include "support/rsp.h"
#include "support/run_tool.h"
#include "support/temp_file.h"

namespace {

using namespace testsupport;

struct SoundCase {
    const char* name;
    Note note;
    std::string host;  // bytes in front of a document carried behind a trailer
    bool behind_trailer = false;
    std::string password_used;  // empty: the note's own password
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SoundCase& c, std::ostream* os) {
    *os << c.name;
}

SoundCase sound(const char* name, Note note, std::string host = "", bool behind_trailer = false,
                std::string password_used = "") {
    return {name, std::move(note), std::move(host), behind_trailer, std::move(password_used)};
}

Note note_with(void (*change)(Note&)) {
    Note note;
    change(note);
    return note;
}

class SoundDocument : public ::testing::TestWithParam<SoundCase> {};

TEST_P(SoundDocument, TranscriptMatchesByteForByte) {
    const SoundCase& c = GetParam();
    const std::string document = build_note(c.note);
    const std::string file =
        c.behind_trailer ? c.host + document + trailer(static_cast<std::uint32_t>(document.size()))
                         : document;
    const std::string password = c.password_used.empty() ? c.note.password : c.password_used;
    TempDir dir;
    const auto run = run_tool({dir.write("note", file), password});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::string expected = expected_transcript(document, password);
    ASSERT_EQ(run.out.size(), expected.size());
    EXPECT_TRUE(run.out == expected) << run.out.substr(0, 2000);
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
    ::testing::Values(sound("Plain", Note{}),
                      sound("BehindTrailer", Note{}, std::string(1000, '\x7f') + "host file", true),
                      sound("BehindTrailerAtStart", Note{}, "", true),
                      sound("WindowSizeWithTopBitSet", note_with([](Note& n) {
                                n.width = 0x80000000;
                                n.height = 0xFFFFFFFF;
                            })),
                      sound("EmptyPassword", note_with([](Note& n) { n.password = ""; })),
                      sound("ZeroByteInsideText",
                            note_with([](Note& n) { n.text = std::string("before\0after", 12); })),
                      sound("WrongPassword", Note{}, "", false, "not the secret"),
                      sound("WholeBlocksWithoutPadding", note_with([](Note& n) {
                                n.text = std::string(48, 'b');
                                n.pad = false;
                            })),
                      sound("EmptyTextWithPaddingBlock", note_with([](Note& n) { n.text = ""; })),
                      sound("ThreeMebibytes",
                            note_with([](Note& n) { n.text = random_text(3 << 20); }))),
    [](const auto& info) { return std::string(info.param.name); });

struct DamagedCase {
    const char* name;
    std::string document;
    const char* whoops;     // the one diagnostic line
    bool after_ciphertext;  // printed after the ciphertext dump rather than after the header
};
void PrintTo(const DamagedCase& c, std::ostream* os) {
    *os << c.name;
}

std::string damaged(std::uint32_t cipher_len, std::uint32_t plain_len, std::size_t keep = 0) {
    std::string document = build_note(Note{});
    patch_le32(document, cipher_len_offset, cipher_len);
    patch_le32(document, plain_len_offset, plain_len);
    if (keep != 0)
        document.resize(keep);
    return document;
}

class DamagedHeader : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedHeader, PrintsOneWhoopsLineAndYieldsNoDocument) {
    const DamagedCase& c = GetParam();
    TempDir dir;
    const auto run = run_tool({dir.write("note", c.document), "secret"});
    std::string expected = key_line("secret") + header_lines(c.document);
    if (c.after_ciphertext) {
        const std::size_t cipher_len = c.document.size() - 76;
        expected += "ciphertext:\n" + reference_dump(c.document.substr(76, cipher_len));
    }
    expected += std::string("whoops, ") + c.whoops + "\nerror loading :(\n";
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedHeader,
    ::testing::Values(DamagedCase{"CipherLenPastEnd", damaged(48, 12, 76 + 32),
                                  "ciphertext runs past the end of the file", false},
                      DamagedCase{"FourGiBClaimedByAHundredByteFile", damaged(0xFFFFFFFF, 12, 100),
                                  "ciphertext runs past the end of the file", false},
                      DamagedCase{"PastEndWinsOverOddLength", damaged(17, 40, 76 + 16),
                                  "ciphertext runs past the end of the file", false},
                      DamagedCase{"NotAMultipleOf16", damaged(15, 12, 76 + 15),
                                  "ciphertext length is not a multiple of 16", true},
                      DamagedCase{"OddLengthWinsOverLongPlaintext", damaged(17, 40, 76 + 17),
                                  "ciphertext length is not a multiple of 16", true},
                      DamagedCase{"PlaintextLongerThanCiphertext", damaged(16, 17, 76 + 16),
                                  "plaintext length exceeds ciphertext length", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DamagedHeader, HeaderCutOff) {
    TempDir dir;
    for (std::size_t keep : {8, 40, 75}) {
        const auto run = run_tool({dir.write("note", build_note(Note{}).substr(0, keep)), "pw"});
        EXPECT_EQ(run.out, key_line("pw") + "whoops, header cut off\nerror loading :(\n") << keep;
    }
}

TEST(EmptyDocument, ZeroCiphertextIsASoundEmptyText) {
    const std::string document = damaged(0, 0, 76);
    TempDir dir;
    const auto run = run_tool({dir.write("note", document), "secret"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected_transcript(document, "secret"));
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
                      PropertyCase{0xFFFFFFFE, 1024, 768, "0", "1", "1024", "768"}));

}  // namespace

namespace {

TEST(ShippedExample, DecryptsWithItsPassword) {
    const std::string path = std::string(NOTEDIAG_EXAMPLES) + "/hello.note";
    const auto bytes = read_file(path);
    const std::string document(bytes.begin(), bytes.end());
    const auto run = run_tool({path, "correct horse"});
    EXPECT_EQ(run.out, expected_transcript(document, "correct horse"));
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
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, recorded);
    const auto readme = read_file(NOTEDIAG_README);
    EXPECT_NE(std::string(readme.begin(), readme.end()).find(recorded), std::string::npos)
        << "the README shows another transcript";
}

}  // namespace
