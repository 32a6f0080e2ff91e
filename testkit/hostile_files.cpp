#include "testkit/hostile_files.h"

#include <cstdint>

#include "testkit/note_builder.h"
#include "testkit/verdict_lines.h"

namespace testsupport {
namespace {

constexpr int completed = 0;
constexpr int hash_differs = 3;
constexpr int no_document = 4;

using verdict::matches;

std::string no_document_because(const std::string& reason) {
    return "no document: " + reason;
}

// The seeds' sound note: a text of more than one block, padded by whole-block counts.
Note seed_note() {
    Note note;
    note.password = "seed password";
    note.text = "A note for the fuzzer: short, but more than one block long.";
    note.iv = {0xf0, 0xe1, 0xd2, 0xc3, 0xb4, 0xa5, 0x96, 0x87,
               0x78, 0x69, 0x5a, 0x4b, 0x3c, 0x2d, 0x1e, 0x0f};
    return note;
}

std::string patched(std::string document, std::uint32_t offset, std::uint32_t value) {
    patch_le32(document, offset, value);
    return document;
}

std::string carried(const std::string& document) {
    return document + trailer(static_cast<std::uint32_t>(document.size()));
}

std::vector<HostileFile> build_table() {
    const Note note = seed_note();
    const std::string& pw = note.password;
    const std::string sound = build_note(note);
    const auto cipher_len = static_cast<std::uint32_t>(sound.size() - header_v2_size);
    const std::string past_end = patched(sound, header_v2::cipher_len, cipher_len + 16);
    const std::string after_signature = sound.substr(sizeof header_v2_signature);

    Note flags = note;
    flags.password = "";
    flags.flags = 3;
    flags.width = 0x80000000;
    flags.height = 0xFFFFFFFF;
    Note zero_padded = note;
    zero_padded.text = "twelve bytes";
    zero_padded.pad = Pad::zeros;
    zero_padded.width = 80;
    zero_padded.height = 25;
    const std::string zero_padding = build_note(zero_padded);

    const std::string short_file = "the file is 0 bytes, too short to hold one";
    const std::string version_1 = "a version-1 document, which this tool cannot read";
    const std::string ends = "error loading :(\n";

    // Sound documents first, then each way a file holds none; the command-line cases name theirs
    // for the test listing, the fuzzer's seeds for the corpus.
    std::vector<HostileFile> table = {
        {"SoundPlain", "sound-plain", pw, sound, matches, true, completed,
         expected_transcript(sound, pw)},
        {"SoundWrongPassword",
         "sound-wrong-password",
         "not the password",
         sound,
         verdict::wrong_password,
         true,
         hash_differs,
         expected_transcript(sound, "not the password"),
         {"evidence: 0 of 3 blocks decrypt to text and the padding is malformed; any wrong "
          "password shows as much"}},
        {"SoundFlagsEmptyPassword", "sound-flags-empty-password", "", build_note(flags), matches,
         true, completed, expected_transcript(build_note(flags), "")},
        {"SoundBehindTrailer", "sound-behind-trailer", pw,
         "host file bytes in front of the note\n" + carried(sound), matches, true, completed, ""},
        {"SoundBehindTrailerAtStart", "sound-behind-trailer-at-start", pw, carried(sound), matches,
         true, completed, ""},
        {"SoundZeroPadding", "sound-zero-padding", pw, zero_padding, matches, true, completed,
         expected_transcript(zero_padding, pw)},
        {"DamagedStoredHash",
         "damaged-stored-hash",
         pw,
         patched(sound, header_v2::wanted_hash, 0),
         verdict::damaged,
         true,
         hash_differs,
         "",
         {"evidence: 3 of 3 blocks decrypt to text and 5 padding bytes are well-formed; a wrong "
          "password shows this by chance below 2^-87",
          "damage: none in the text; the stored hash or the IV is the likely damage"}},
        {"CipherLenZero",
         "cipher-len-zero",
         pw,
         patched(patched(sound, header_v2::cipher_len, 0), header_v2::plain_len, 0),
         verdict::undecided,
         true,
         hash_differs,
         "",
         {"evidence: no block to judge as text and there is no padding; any wrong password shows "
          "as much"}},

        {"HeaderCutOff", "header-cut-off", pw, sound.substr(0, 40),
         no_document_because("the header is cut off: the document holds 40 of its 76 bytes"), false,
         no_document, key_line(pw) + "whoops, header cut off\n" + ends},
        {"HeaderCutOffBehindTrailer", "header-cut-off-behind-trailer", pw,
         "host" + carried(sound.substr(0, 70)),
         no_document_because("the header is cut off: the document holds 70 of its 76 bytes"), false,
         no_document, key_line(pw) + "whoops, header cut off\n" + ends},
        {"CipherPastEnd", "cipher-past-end", pw, past_end,
         no_document_because("the header claims 80 bytes of ciphertext, but only 64 follow it"),
         false, no_document, ""},
        {"CipherPastEndBehindTrailer", "cipher-past-end-behind-trailer", pw,
         "host" + past_end + trailer(static_cast<std::uint32_t>(sound.size())),
         no_document_because("the header claims 80 bytes of ciphertext, but only 64 follow it"),
         false, no_document, ""},
        {"CipherNotMultipleOf16", "cipher-not-multiple-of-16", pw,
         patched(sound, header_v2::cipher_len, cipher_len - 1),
         no_document_because("the ciphertext length 63 is not a multiple of 16"), false,
         no_document, ""},
        {"PlainLongerThanCipher", "plain-longer-than-cipher", pw,
         patched(sound, header_v2::plain_len, cipher_len + 1),
         no_document_because("the plaintext length 65 exceeds the ciphertext length 64"), false,
         no_document, ""},
        {"CipherLenZeroPlainFive", "cipher-len-zero-plain-five", pw,
         patched(patched(sound.substr(0, header_v2_size), header_v2::cipher_len, 0),
                 header_v2::plain_len, 5),
         no_document_because("the plaintext length 5 exceeds the ciphertext length 0"), false,
         no_document, ""},
        {"TrailerClaimingFourGiBAfterZeros", "trailer-claiming-4gib", pw,
         std::string(92, '\0') + trailer(0xFFFFFFFF),
         no_document_because("the trailer claims 4294967295 bytes, but only 92 lie in front of it"),
         false, no_document, key_line(pw) + ends},
        {"TrailerOnlySeed", "trailer-only", pw, trailer(0),
         no_document_because("the document is 0 bytes, too short for its 8-byte signature"), false,
         no_document, key_line(pw) + ends},
        {"DocumentShorterThanSignatureSeed", "document-shorter-than-signature", pw,
         "hostSEK" + trailer(3),
         no_document_because("the document is 3 bytes, too short for its 8-byte signature"), false,
         no_document, key_line(pw) + ends},
        {"VersionOneSeed", "version-1", pw, "SEKRiT*1" + after_signature,
         no_document_because(version_1), false, no_document, key_line(pw) + ends},
        {"UnknownSignatureSeed", "unknown-signature", pw, "SEKRiT*3" + after_signature,
         no_document_because("unknown signature 53 45 4b 52 69 54 2a 33"), false, no_document,
         key_line(pw) + ends},
        {"TinyZero", "tiny-0", "", "", no_document_because(short_file), false, no_document,
         key_line("") + ends},
        {"TinyThree", "tiny-3", "", sound.substr(0, 3),
         no_document_because("the file is 3 bytes, too short to hold one"), false, no_document,
         key_line("") + ends},
        {"TinySeven", "tiny-7", "", sound.substr(0, 7),
         no_document_because("the file is 7 bytes, too short to hold one"), false, no_document,
         key_line("") + ends},
        {"TinyEight", "tiny-8", "", sound.substr(0, 8),
         no_document_because("the header is cut off: the document holds 8 of its 76 bytes"), false,
         no_document, key_line("") + "whoops, header cut off\n" + ends},
    };

    // The command-line cases, all read with "secret"; none gets as far as a header. (A file of 0,
    // 3 or 7 bytes, and a trailer alone, are the seeds' cases above.)
    const struct {
        const char* name;
        const char* seed;
        std::string bytes;
        const char* reason;
        std::vector<std::string> details = {};
    } refused[] = {
        {"VersionOne", "cli-version-one", "SEKRiT*1" + std::string(100, 'x'), version_1.c_str()},
        {"UnknownSignature", "cli-unknown-signature", "SEKRiT*3" + std::string(100, 'x'),
         "unknown signature 53 45 4b 52 69 54 2a 33"},
        {"LowerCaseSignature", "cli-lower-case-signature", "sekrit*2" + std::string(100, 'x'),
         "unknown signature 73 65 6b 72 69 74 2a 32"},
        {"ZipArchive", "cli-zip-archive", std::string("PK\x03\x04\x14\x00\x06\x00", 8) + "zip",
         "unknown signature 50 4b 03 04 14 00 06 00"},
        // Its signature lies where the trailer's claim does not reach.
        {"TrailerLongerThanItsFile",
         "cli-trailer-longer-than-its-file",
         "SEKRiT*2" + trailer(9),
         "the trailer claims 9 bytes, but only 8 lie in front of it",
         {"hint: a version-2 signature lies at offset 0; try --offset=0"}},
        {"TrailerClaimingFourGiB", "cli-trailer-claiming-four-gib",
         std::string(40, 'h') + trailer(0xFFFFFFFF),
         "the trailer claims 4294967295 bytes, but only 40 lie in front of it"},
        {"VersionOneBehindTrailer", "cli-version-one-behind-trailer",
         std::string(13, 'h') + "SEKRiT*1abc" + trailer(11), version_1.c_str()},
        {"DocumentShorterThanSignature", "cli-document-shorter-than-signature",
         std::string(5, 'h') + "SEK" + trailer(3),
         "the document is 3 bytes, too short for its 8-byte signature"},
    };
    for (const auto& r : refused) {
        table.push_back({r.name, r.seed, "secret", r.bytes, no_document_because(r.reason), false,
                         no_document, key_line("secret") + ends, r.details});
    }

    return table;
}

}  // namespace

const std::vector<HostileFile>& hostile_files() {
    static const std::vector<HostileFile> table = build_table();
    return table;
}

std::string seed_bytes(const HostileFile& file) {
    return std::string(1, static_cast<char>(file.password.size())) + file.password + file.bytes;
}

}  // namespace testsupport
