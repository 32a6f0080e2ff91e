#include "document/read_document_v2.h"

#include <algorithm>
#include <cstring>

#include "app/hex_dump.h"
#include "app/transcript.h"
#include "crypto/aes/aes.h"
#include "crypto/aes/aes_modes.h"
#include "crypto/sha256.h"
#include "platform/little_endian.h"
#include "platform/secure_wipe.h"

namespace {

using platform::load_le32;

struct HeaderV2 {
    std::uint8_t signature[8];
    std::uint8_t wanted_hash[32];
    std::uint8_t iv[16];
    std::uint32_t cipher_len;
    std::uint32_t plain_len;
    std::uint32_t flags;
    std::uint32_t width;
    std::uint32_t height;
};

HeaderV2 parse_header(const std::uint8_t (&raw)[header_v2_size]) {
    HeaderV2 header{};
    std::memcpy(header.signature, raw + header_v2::signature, sizeof header.signature);
    std::memcpy(header.wanted_hash, raw + header_v2::wanted_hash, sizeof header.wanted_hash);
    std::memcpy(header.iv, raw + header_v2::iv, sizeof header.iv);
    header.cipher_len = load_le32(raw + header_v2::cipher_len);
    header.plain_len = load_le32(raw + header_v2::plain_len);
    header.flags = load_le32(raw + header_v2::flags);
    header.width = load_le32(raw + header_v2::width);
    header.height = load_le32(raw + header_v2::height);
    return header;
}

// What the reader derives from the password lives here, so it is wiped on every way out,
// an exception included.
struct Secrets {
    std::uint8_t key[32];
    std::uint8_t working_iv[16];
    AesDecryptContext context;

    Secrets() = default;
    Secrets(const Secrets&) = delete;
    Secrets& operator=(const Secrets&) = delete;
    ~Secrets() { platform::secure_wipe(this, sizeof *this); }
};

void dump(const char* label, const void* data, std::uint32_t count) {
    transcript::line(label);
    transcript::dump(data, count);
}

std::nullptr_t whoops(const char* what, LoadFindings& findings, NoDocument reason) {
    transcript::format("whoops, %s\n", what);
    findings.no_document = reason;
    return nullptr;
}

// The bytes `file` delivered from `from` up to its position, after a read that came short of
// what the extent promised (the file shrank while it was read, or the device failed).
std::uint32_t delivered(File& file, std::uint32_t from) {
    const std::uint32_t position = file.tell();
    return position > from ? position - from : 0;
}

Padding classify_padding(const std::uint8_t* padding, std::uint32_t count) {
    if (count == 0) {
        return Padding::absent;
    }
    const auto all = [&](std::uint8_t value) {
        return std::all_of(padding, padding + count, [=](std::uint8_t b) { return b == value; });
    };
    return (count <= 16 && all(static_cast<std::uint8_t>(count))) || (count <= 15 && all(0))
               ? Padding::well_formed
               : Padding::malformed;
}

}  // namespace

std::unique_ptr<Document> read_document_v2(File& file, const DocumentExtent& extent,
                                           const Plaintext& key, LoadFindings& findings) {
    std::uint8_t raw[header_v2_size];
    if (extent.length < header_v2_size) {
        findings.available = extent.length;
        return whoops("header cut off", findings, NoDocument::header_cut_off);
    }
    if (!file.seek(static_cast<std::int32_t>(extent.start)) || !file.read(raw, sizeof raw)) {
        findings.available = delivered(file, extent.start);
        return whoops("header cut off", findings, NoDocument::header_cut_off);
    }
    const HeaderV2 header = parse_header(raw);
    findings.cipher_len = header.cipher_len;
    findings.plain_len = header.plain_len;
    if (std::memcmp(header.signature, header_v2_signature, sizeof header.signature) != 0) {
        transcript::line("whoops, not header_v2_signature");
    }
    transcript::format(
        "%d/%d bytes, %dx%d window size\n", static_cast<std::int32_t>(header.cipher_len),
        static_cast<std::int32_t>(header.plain_len), static_cast<std::int32_t>(header.width),
        static_cast<std::int32_t>(header.height));
    dump("iv:", header.iv, sizeof header.iv);
    dump("wanted hash:", header.wanted_hash, sizeof header.wanted_hash);

    // The header is not trusted with an allocation: what it claims must lie in the document, and
    // a document behind a trailer ends where the trailer begins.
    const char* const past_end = extent.behind_trailer
                                     ? "ciphertext runs past the end of the document"
                                     : "ciphertext runs past the end of the file";
    findings.available = extent.length - header_v2_size;
    if (header.cipher_len > findings.available) {
        return whoops(past_end, findings, NoDocument::ciphertext_past_end);
    }
    // One buffer, `payload`, holds the ciphertext as read and then, decrypted in place, the
    // plaintext: one block of the ciphertext's size for the whole load, which the document then
    // takes over. A large note thus costs one allocation and one pass of page faults, not three.
    Plaintext payload;
    payload.resize(header.cipher_len);
    if (!file.read(payload.data(), payload.size())) {
        findings.available = delivered(file, extent.start + header_v2_size);
        return whoops(past_end, findings, NoDocument::ciphertext_past_end);
    }
    dump("ciphertext:", payload.data(), header.cipher_len);
    if (header.cipher_len % 16 != 0) {
        return whoops("ciphertext length is not a multiple of 16", findings,
                      NoDocument::ciphertext_not_whole_blocks);
    }
    if (header.plain_len > header.cipher_len) {
        return whoops("plaintext length exceeds ciphertext length", findings,
                      NoDocument::plaintext_too_long);
    }
    Secrets secrets;
    sha256_digest(secrets.key, key.data(), key.size());
    std::memcpy(secrets.working_iv, header.iv, sizeof secrets.working_iv);
    aes_tables_init();
    aes_decrypt_schedule_256(secrets.key, secrets.context);
    // The mode takes an int length; a payload past 2 GiB goes in pieces, which continue one
    // chain through the working IV and give the same bytes as a single call.
    constexpr std::uint32_t largest_piece = 0x7FFFFFF0;
    for (std::uint32_t done = 0; done < header.cipher_len;) {
        const std::uint32_t piece = std::min(header.cipher_len - done, largest_piece);
        aes_modes_cbc_decrypt(payload.data() + done, payload.data() + done, static_cast<int>(piece),
                              secrets.working_iv, secrets.context);
        done += piece;
    }

    dump("plaintext (before shrink):", payload.data(), payload.size());
    // The shrink wipes the padding, so it is judged first.
    findings.padding =
        classify_padding(payload.data() + header.plain_len, header.cipher_len - header.plain_len);
    payload.resize(header.plain_len);

    std::uint8_t check_hash[sha256_digest_size];
    {
        Sha256Hasher hasher;
        hasher.init();
        hasher.update(payload.data(), payload.size());
        hasher.update(header.iv, sizeof header.iv);
        hasher.finish(check_hash);
    }
    dump("decrypted hash:", check_hash, sizeof check_hash);
    findings.check_hash_matches =
        std::memcmp(check_hash, header.wanted_hash, sizeof check_hash) == 0;
    dump("plaintext:", payload.data(), payload.size());

    auto document = std::make_unique<Document>();
    document->take_text(payload);
    document->set_property("readonly", (header.flags & 1) != 0 ? "1" : "0");
    document->set_property("maximized", (header.flags & 2) != 0 ? "1" : "0");
    document->set_property("width", int_to_string(static_cast<std::int32_t>(header.width)));
    document->set_property("height", int_to_string(static_cast<std::int32_t>(header.height)));
    return document;
}
