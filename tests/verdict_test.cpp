// The verdict on text notes in several encodings, damaged every way a note can be, read in process:
// the conclusion, the damage named and the hints, each against what the tampering did.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/load_document.h"
#include "crypto/aes/aes.h"
#include "document/format.h"
#include "document/read_observer.h"
#include "support/case_name.h"
#include "support/seed.h"
#include "support/temp_file.h"
#include "testkit/note_builder.h"
#include "verdict/verdict.h"

namespace {

using namespace testsupport;
using verdict::Conclusion;
using verdict::DamagedPart;
using verdict::Hint;

// UTF-16LE of a text of the Basic Multilingual Plane given in UTF-8.
std::string utf16le(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        unsigned c = b;
        std::size_t n = 1;
        if (b >= 0xE0) {
            c = (b & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F);
            n = 3;
        } else if (b >= 0xC0) {
            c = (b & 0x1F) << 6 | (utf8[i + 1] & 0x3F);
            n = 2;
        }
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
        i += n;
    }
    return out;
}

std::string repeated(const std::string& sentence, std::size_t size) {
    std::string text;
    while (text.size() < size) {
        text += sentence;
    }
    return text.substr(0, size);
}

struct Sample {
    const char* name;
    std::string text;
};

std::vector<Sample> samples() {
    const std::string russian =
        "Съешь же ещё этих мягких французских булок, да выпей чаю. Широкая электрификация южных "
        "губерний даст мощный толчок подъёму сельского хозяйства. ";
    const std::string chinese =
        "我能吞下玻璃而不伤身体。天地玄黄，宇宙洪荒。日月盈昃，辰宿列张。寒来暑往，秋收冬藏。";
    const std::string english =
        "The quick brown fox jumps over the lazy dog; meanwhile the support engineer reads the "
        "transcript line by line.\n";
    return {
        {"Ascii", repeated(english, 600)},
        {"Utf8Cyrillic", repeated(russian, 601)},
        {"Utf8Chinese", repeated(chinese, 602)},
        {"Utf16Latin", utf16le(repeated(english, 300))},
        {"Utf16Cyrillic", utf16le(repeated(russian.substr(0, 200), 400))},
        // Windows-1252: "Déjà vu, garçon! Über Straße und Flüsse. "
        {"Windows1252", repeated("D\xe9j\xe0 vu, gar\xe7on! \xdc"
                                 "ber Stra\xdf"
                                 "e und Fl\xfcsse. ",
                                 599)},
    };
}

struct Read {
    DocumentReport report;
    verdict::Verdict verdict;
};

Read read_path(const std::string& path, const std::string& password) {
    aes_tables_init();
    Plaintext key;
    key.resize(static_cast<std::uint32_t>(password.size()));
    std::copy(password.begin(), password.end(), key.data());
    file::Input input = file::open_input(path.c_str());
    verdict::Witness witness;
    Read r;
    load_document(input, key, witness, r.report);
    r.verdict = verdict::reach_verdict(r.report, witness, *input.file, key);
    return r;
}

Read read(const std::string& document, const std::string& password) {
    const TempDir dir;
    return read_path(dir.write("note", document), password);
}

std::string with_text(const std::string& text, const char* password = "secret") {
    Note note;
    note.text = text;
    note.password = password;
    return build_note(note);
}

using VerdictOnText = ::testing::TestWithParam<Sample>;

// Damage in ciphertext block i garbles plaintext block i: the verdict proves the password by the
// text around it and names block i.
TEST_P(VerdictOnText, NamesEachDamagedBlock) {
    const std::string sound = with_text(GetParam().text);
    EXPECT_EQ(read(sound, "secret").verdict.conclusion, Conclusion::intact);
    const std::uint32_t blocks = static_cast<std::uint32_t>(sound.size() - header_v2_size) / 16;
    for (std::uint32_t block = 0; block < blocks; ++block) {
        std::string damaged = sound;
        damage(damaged, header_v2_size + 16 * block + 5);
        const Read r = read(damaged, "secret");
        ASSERT_EQ(r.verdict.conclusion, Conclusion::damaged) << "block " << block;
        ASSERT_TRUE(r.verdict.wrong_password_chance_log2.has_value());
        EXPECT_LT(*r.verdict.wrong_password_chance_log2, -40);
        ASSERT_EQ(r.verdict.damage.size(), 1u) << "block " << block;
        EXPECT_EQ(r.verdict.damage[0].part, DamagedPart::Part::ciphertext);
        EXPECT_EQ(r.verdict.damage[0].first_block, block);
        EXPECT_TRUE(r.verdict.hints.empty());
    }
}

// A damaged stored hash or IV leaves every block text; a damaged plaintext length is found by the
// check hash itself.
TEST_P(VerdictOnText, NamesTheHeader) {
    const std::string sound = with_text(GetParam().text);
    for (const std::uint32_t offset : {header_v2::wanted_hash + 7, header_v2::iv + 9}) {
        std::string damaged = sound;
        damage(damaged, offset);
        const Read r = read(damaged, "secret");
        ASSERT_EQ(r.verdict.conclusion, Conclusion::damaged) << offset;
        ASSERT_FALSE(r.verdict.damage.empty());
        // The IV's flipped byte may leave block 0 text or not; either names the place.
        const DamagedPart& part = r.verdict.damage[0];
        EXPECT_TRUE(part.part == DamagedPart::Part::stored_hash_or_iv ||
                    (offset == header_v2::iv + 9 && part.first_block == 0))
            << offset;
    }
    const auto plain_len = static_cast<std::uint32_t>(GetParam().text.size());
    const std::uint32_t cipher_len = static_cast<std::uint32_t>(sound.size()) - header_v2_size;
    for (int off = -16; off <= 16; ++off) {
        const std::int64_t wrong = std::int64_t{plain_len} + off;
        if (off == 0 || wrong < 0 || wrong > cipher_len) {
            continue;
        }
        std::string damaged = sound;
        patch_le32(damaged, header_v2::plain_len, static_cast<std::uint32_t>(wrong));
        const Read r = read(damaged, "secret");
        ASSERT_EQ(r.verdict.conclusion, Conclusion::damaged) << off;
        EXPECT_FALSE(r.verdict.wrong_password_chance_log2.has_value()) << "confirmed, not judged";
        ASSERT_EQ(r.verdict.hints.size(), 1u) << off;
        EXPECT_EQ(r.verdict.hints[0].kind, Hint::Kind::plain_len);
        EXPECT_EQ(r.verdict.hints[0].value, plain_len);
        ASSERT_EQ(r.verdict.damage.size(), 1u);
        EXPECT_EQ(r.verdict.damage[0].part, DamagedPart::Part::plain_len);
    }
}

TEST_P(VerdictOnText, CallsWrongPasswordsWrong) {
    const std::string sound = with_text(GetParam().text);
    for (const char* wrong : {"Secret", "secret2", "", "correct horse"}) {
        const Read r = read(sound, wrong);
        EXPECT_EQ(r.verdict.conclusion, Conclusion::wrong_password) << wrong;
        EXPECT_TRUE(r.verdict.damage.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, VerdictOnText, ::testing::ValuesIn(samples()), CaseName{});

// What people get wrong about a password is found, and named, when the check hash confirms it; the
// verdict line stays what the password as given earns.
TEST(Verdict, NamesTheSpellingThatMatches) {
    const std::string text = repeated("Les sanglots longs des violons de l'automne. ", 300);
    struct Case {
        const char* sealed_with;
        const char* given;
        Hint::Kind kind;
        const char* name;
    };
    for (const Case& c : {
             Case{"P\xe4sswort", "P\xc3\xa4sswort", Hint::Kind::password_encoding, "windows-1252"},
             Case{"secret", "SECRET", Hint::Kind::password_variant, "caps-lock"},
             Case{"secret\n", "secret", Hint::Kind::password_variant, "trailing-lf"},
             Case{"secret", "secret  ", Hint::Kind::password_variant, "trimmed"},
         }) {
        const Read r = read(with_text(text, c.sealed_with), c.given);
        EXPECT_EQ(r.verdict.conclusion, Conclusion::wrong_password) << c.name;
        ASSERT_EQ(r.verdict.hints.size(), 1u) << c.name;
        EXPECT_EQ(r.verdict.hints[0].kind, c.kind);
        EXPECT_STREQ(r.verdict.hints[0].name, c.name);
    }
}

// Wrong passwords on notes of every padding length never earn "the password is right": the
// padding's chance together with the text's, never the padding alone. On these four-block text
// notes they are called wrong, unless the padding came out well-formed by its chance of 2 in 256^n
// (then undecided: "wrong" needs malformed padding).
TEST(Verdict, WrongPasswordsAreNeverCalledRight) {
    const TestSeed seed;
    std::mt19937_64 random(seed.value());
    int wrong = 0, undecided = 0;
    for (int text_length = 49; text_length <= 64; ++text_length) {  // 15 to 1 padding bytes, 16
        const TempDir dir;
        const std::string note = dir.write(
            "note",
            with_text(repeated("Short notes are judged by their padding too. ", text_length)));
        for (int trial = 0; trial < 64; ++trial) {
            const Read r = read_path(note, "wrong " + std::to_string(random()));
            ASSERT_NE(r.verdict.conclusion, Conclusion::damaged) << text_length;
            ASSERT_NE(r.verdict.conclusion, Conclusion::intact);
            if (r.verdict.conclusion == Conclusion::undecided) {
                EXPECT_EQ(r.report.padding, Padding::well_formed) << text_length;
                ++undecided;
            } else {
                ++wrong;
            }
        }
    }
    // 64 trials at 2/256 for one padding byte, and about nothing for more: 0.5 expected.
    EXPECT_LE(undecided, 5) << wrong << " called wrong";
}

// A large note is judged on a sample of blocks first: a wrong password is settled by it, a right
// one with damage is judged whole (to locate the damage), from the text in memory or decrypted
// again from the file alike.
TEST(Verdict, LargeNotesAreJudgedOnASampleFirst) {
    const std::string text =
        repeated("A large note, many blocks of it, all of them text. ", 400000);
    std::string damaged = with_text(text);
    constexpr std::uint32_t block = 12345;
    damage(damaged, header_v2_size + 16 * block + 3);
    const TempDir dir;
    const std::string path = dir.write("note", damaged);

    const Read wrong = read_path(path, "not the password");
    EXPECT_EQ(wrong.verdict.conclusion, Conclusion::wrong_password);
    ASSERT_TRUE(wrong.verdict.judgement.has_value());
    EXPECT_TRUE(wrong.verdict.judgement->sampled);
    EXPECT_NE(wrong.verdict.evidence.find("sampled"), std::string::npos) << wrong.verdict.evidence;

    struct Whole : ReadObserver {
        bool wants_whole_payload() const override { return true; }
    };
    for (const bool in_memory : {false, true}) {
        Plaintext key;
        assign_c_string(key, "secret", false);
        file::Input input = file::open_input(path.c_str());
        verdict::Witness witness;
        Whole whole;
        TeeObserver both(whole, witness);
        DocumentReport report;
        const auto document = load_document(input, key, both, report);
        ASSERT_NE(document, nullptr);
        const verdict::Verdict v = verdict::reach_verdict(report, witness, *input.file, key,
                                                          in_memory ? &document->text(0) : nullptr);
        EXPECT_EQ(v.conclusion, Conclusion::damaged) << in_memory;
        ASSERT_EQ(v.damage.size(), 1u);
        EXPECT_EQ(v.damage[0].first_block, block);
        EXPECT_FALSE(v.judgement->sampled);
    }
}

// Where no document was found, the places where a signature lies are named.
TEST(Verdict, NamesSignaturesElsewhere) {
    const std::string note = with_text("a note in a host without a trailer");
    const std::string host = "\x89PNG\r\n\x1a\n" + std::string(100, 'h') + note + "tail" + note;
    const Read r = read(host, "secret");
    EXPECT_EQ(r.verdict.conclusion, Conclusion::no_document);
    ASSERT_EQ(r.verdict.hints.size(), 2u);
    EXPECT_EQ(r.verdict.hints[0].kind, Hint::Kind::signature_at);
    EXPECT_EQ(r.verdict.hints[0].value, 108u);
    EXPECT_EQ(r.verdict.hints[1].value, 108u + note.size() + 4);
    EXPECT_EQ(r.verdict.hints[1].version, 2);
}

}  // namespace
