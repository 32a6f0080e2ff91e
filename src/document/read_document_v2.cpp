#include "document/read_document_v2.h"

#include <algorithm>
#include <cstring>

#include "crypto/aes/aes.h"
#include "crypto/aes/aes_modes.h"
#include "crypto/cbc_sha256.h"
#include "crypto/sha256.h"
#include "output/hex_dump.h"
#include "platform/little_endian.h"
#include "platform/secure_wipe.h"

namespace {

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

// The chain continues through the working IV, so pieces of a payload give the bytes of one call.
void decrypt(std::uint8_t* bytes, std::uint32_t count, Secrets& secrets) {
    aes_modes_cbc_decrypt_long(bytes, bytes, count, secrets.working_iv, secrets.context);
}

// Hashes the decrypted payload as it passes, in order, and taps the stream twice: at the plaintext
// length a copy is finished with the IV into the check hash, and at `resume_at` the state is kept
// so that other plaintext lengths can be tried later without hashing the text again.
class PayloadHash {
  public:
    explicit PayloadHash(const HeaderV2& header)
        : iv_(header.iv),
          plain_len_(header.plain_len),
          resume_at_(header.cipher_len > retry_reach ? (header.cipher_len - retry_reach) & ~63u
                                                     : 0) {
        sha256_begin(running_);
        tap();
    }
    PayloadHash(const PayloadHash&) = delete;
    PayloadHash& operator=(const PayloadHash&) = delete;
    ~PayloadHash() {
        platform::secure_wipe(&running_, sizeof running_);
        platform::secure_wipe(&resume_, sizeof resume_);
    }

    void feed(const std::uint8_t* bytes, std::size_t count) {
        while (count > 0 && !(checked_ && resumed_)) {
            const auto take =
                static_cast<std::uint32_t>(std::min<std::size_t>(count, next_tap() - position_));
            sha256_add(running_, bytes, take);
            position_ += take;
            bytes += take;
            count -= take;
            tap();
        }
    }

    // How many of the next `available` bytes can go through decrypt_and_feed: whole 64-byte units
    // up to the next tap, none once both taps are behind (or the state stands mid-block).
    std::uint32_t straight_run(std::uint32_t available) const {
        if ((checked_ && resumed_) || position_ % 64 != 0) {
            return 0;
        }
        return std::min(available, next_tap() - position_) & ~63u;
    }

    // Decrypts a straight run in place and hashes its plaintext, the one beside the other.
    void decrypt_and_feed(std::uint8_t* bytes, std::uint32_t count, Secrets& secrets) {
        cbc_decrypt_and_hash(bytes, bytes, count / 64, secrets.working_iv, secrets.context,
                             running_);
        position_ += count;
        tap();
    }

    const std::uint8_t* check_hash() const { return check_; }
    const Sha256Context& resume_state() const { return resume_; }
    std::uint32_t resume_at() const { return resume_at_; }

  private:
    // The next place the running state is read: the check hash or the resume point, whichever
    // is still ahead.
    std::uint32_t next_tap() const noexcept {
        return std::min(checked_ ? resume_at_ : plain_len_, resumed_ ? plain_len_ : resume_at_);
    }

    void tap() {
        if (!checked_ && position_ == plain_len_) {
            Sha256Context finishing = running_;
            sha256_add(finishing, iv_, 16);
            sha256_end(finishing, check_);
            platform::secure_wipe(&finishing, sizeof finishing);
            checked_ = true;
        }
        if (!resumed_ && position_ == resume_at_) {
            resume_ = running_;
            resumed_ = true;
        }
    }

    const std::uint8_t* iv_;
    std::uint32_t plain_len_;
    std::uint32_t resume_at_;
    std::uint32_t position_ = 0;
    bool checked_ = false;
    bool resumed_ = false;
    Sha256Context running_;
    Sha256Context resume_{};
    std::uint8_t check_[sha256_digest_size] = {};
};

// What a decrypted payload shows: the padding's verdict (from the bytes in front of `payload_end`)
// and the check hash.
void conclude(const HeaderV2& header, const PayloadHash& hash, const std::uint8_t* payload_end,
              DocumentReport& report) {
    report.decrypted = true;
    report.payload_length = header.cipher_len;
    report.padding = classify_padding(payload_end, header.cipher_len - header.plain_len);
    std::memcpy(report.computed_hash, hash.check_hash(), sizeof report.computed_hash);
    report.check_hash_matches =
        std::memcmp(report.computed_hash, header.wanted_hash, sizeof report.computed_hash) == 0;
}

// Decrypts the payload in place, range by range in order: the chain runs on in the working IV.
struct Decrypting final : StageFollower {
    std::uint8_t* payload;
    Secrets& secrets;

    Decrypting(std::uint8_t* bytes, Secrets& s) : payload(bytes), secrets(s) {}
    void consumed(std::uint32_t from, std::uint32_t to) override {
        decrypt(payload + from, to - from, secrets);
    }
};

// Hands the decrypted payload to the observer and hashes it, range by range in order, while the
// rest of it is still being shown.
struct Hashing final : StageFollower {
    const std::uint8_t* payload;
    PayloadHash& hash;
    ReadObserver& observer;

    Hashing(const std::uint8_t* bytes, PayloadHash& h, ReadObserver& o)
        : payload(bytes), hash(h), observer(o) {}
    void consumed(std::uint32_t from, std::uint32_t to) override {
        observer.decrypted(from, payload + from, to - from);
        hash.feed(payload + from, to - from);
    }
};

void derive(const Plaintext& key, const HeaderV2& header, Secrets& secrets) {
    sha256_digest(secrets.key, key.data(), key.size());
    std::memcpy(secrets.working_iv, header.iv, sizeof secrets.working_iv);
    aes_tables_init();
    aes_decrypt_schedule_256(secrets.key, secrets.context);
}

std::unique_ptr<Document> make_document(Plaintext& text, const HeaderV2& header) {
    auto document = std::make_unique<Document>();
    document->take_text(text);
    document->set_property("readonly", (header.flags & 1) != 0 ? "1" : "0");
    document->set_property("maximized", (header.flags & 2) != 0 ? "1" : "0");
    document->set_property("width", int_to_string(static_cast<std::int32_t>(header.width)));
    document->set_property("height", int_to_string(static_cast<std::int32_t>(header.height)));
    return document;
}

struct Reading {
    File& file;
    const DocumentExtent& extent;
    ReadObserver& observer;
    DocumentReport& report;

    std::nullptr_t whoops(NoDocument reason) {
        report.no_document = reason;
        observer.whoops(reason, extent.behind_trailer);
        return nullptr;
    }

    std::nullptr_t past_end() {
        report.bytes_after_header = bytes_delivered_since(file, extent.start + header_v2_size);
        return whoops(NoDocument::ciphertext_past_end);
    }

    // The transcript's path: one buffer, `payload`, holds the ciphertext as read and then,
    // decrypted in place, the plaintext, which the document then takes over. A large note thus
    // costs one allocation and one pass of page faults, not three. Each slice of ciphertext is
    // decrypted as soon as the observer has shown it, and the plaintext hashed as it is shown, so
    // both overlap the dumps where the transcript's order allows.
    std::unique_ptr<Document> whole(const HeaderV2& header, const Plaintext& key) {
        Plaintext payload;
        payload.resize(header.cipher_len);
        if (!file.read(payload.data(), payload.size())) {
            return past_end();
        }
        if (const NoDocument refused = check_lengths(header); refused != NoDocument::none) {
            observer.stage(ReadStage::ciphertext, payload.data(), header.cipher_len);
            return whoops(refused);
        }
        Secrets secrets;
        derive(key, header, secrets);
        Decrypting decrypting{payload.data(), secrets};
        observer.stage_then(ReadStage::ciphertext, payload.data(), header.cipher_len, decrypting);

        PayloadHash hash(header);
        Hashing hashing{payload.data(), hash, observer};
        observer.stage_then(ReadStage::plaintext_before_shrink, payload.data(), payload.size(),
                            hashing);
        observer.hash_resume(hash.resume_state(), hash.resume_at(),
                             payload.data() + hash.resume_at(),
                             header.cipher_len - hash.resume_at());
        // The shrink wipes the padding, so it is judged first.
        conclude(header, hash, payload.data() + payload.size(), report);
        payload.resize(header.plain_len);
        observer.stage(ReadStage::decrypted_hash, report.computed_hash,
                       sizeof report.computed_hash);
        observer.stage(ReadStage::plaintext, payload.data(), payload.size());
        return make_document(payload, header);
    }

    // The bounded path: read, decrypt, hash and hand on one piece at a time. Only the payload's
    // tail from the hash's resumption point is kept, for the padding and for hash_resume.
    std::nullptr_t in_pieces(const HeaderV2& header, const Plaintext& key) {
        if (const NoDocument refused = check_lengths(header); refused != NoDocument::none) {
            return whoops(refused);
        }
        Secrets secrets;
        derive(key, header, secrets);
        PayloadHash hash(header);
        Plaintext piece;
        piece.resize(std::min(header.cipher_len, read_piece_size));
        Plaintext tail;
        tail.resize(header.cipher_len - hash.resume_at());
        for (std::uint32_t done = 0; done < header.cipher_len;) {
            const std::uint32_t count = std::min(header.cipher_len - done, read_piece_size);
            if (!file.read(piece.data(), count)) {
                return past_end();
            }
            const std::uint32_t straight = hash.straight_run(count);
            hash.decrypt_and_feed(piece.data(), straight, secrets);
            decrypt(piece.data() + straight, count - straight, secrets);
            observer.decrypted(done, piece.data(), count);
            hash.feed(piece.data() + straight, count - straight);
            if (done < header.plain_len) {
                observer.text(piece.data(), std::min(count, header.plain_len - done));
            }
            // The part of this piece that lies in the tail.
            const std::uint32_t end = done + count;
            if (end > hash.resume_at()) {
                const std::uint32_t from = std::max(done, hash.resume_at());
                std::memcpy(tail.data() + (from - hash.resume_at()), piece.data() + (from - done),
                            end - from);
            }
            done = end;
        }
        observer.hash_resume(hash.resume_state(), hash.resume_at(), tail.data(), tail.size());
        conclude(header, hash, tail.data() + tail.size(), report);
        observer.stage(ReadStage::decrypted_hash, report.computed_hash,
                       sizeof report.computed_hash);
        return nullptr;
    }
};

}  // namespace

NoDocument check_lengths(const HeaderV2& header) {
    if (header.cipher_len % 16 != 0) {
        return NoDocument::ciphertext_not_whole_blocks;
    }
    if (header.plain_len > header.cipher_len) {
        return NoDocument::plaintext_too_long;
    }
    return NoDocument::none;
}

Padding classify_padding(const std::uint8_t* end, std::uint32_t count) {
    if (count == 0) {
        return Padding::absent;
    }
    if (count > 16) {
        return Padding::malformed;
    }
    const auto all = [&](std::uint8_t value) {
        return std::all_of(end - count, end, [=](std::uint8_t b) { return b == value; });
    };
    return all(static_cast<std::uint8_t>(count)) || (count <= 15 && all(0)) ? Padding::well_formed
                                                                            : Padding::malformed;
}

HeaderV2 parse_header_v2(const std::uint8_t (&raw)[header_v2_size]) noexcept {
    using platform::load_le32;
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

std::uint32_t bytes_delivered_since(File& file, std::uint32_t from) {
    const std::uint32_t position = file.tell();
    return position > from ? position - from : 0;
}

std::unique_ptr<Document> read_document_v2(File& file, const DocumentExtent& extent,
                                           const Plaintext& key, ReadObserver& observer,
                                           DocumentReport& report) {
    Reading reading{file, extent, observer, report};
    std::uint8_t raw[header_v2_size];
    if (extent.length < header_v2_size) {
        report.header_bytes_held = extent.length;
        return reading.whoops(NoDocument::header_cut_off);
    }
    if (!file.seek(static_cast<std::int32_t>(extent.start)) || !file.read(raw, sizeof raw)) {
        report.header_bytes_held = bytes_delivered_since(file, extent.start);
        return reading.whoops(NoDocument::header_cut_off);
    }
    const HeaderV2& header = report.header = parse_header_v2(raw);
    report.header_read = true;
    if (std::memcmp(header.signature, header_v2_signature, sizeof header.signature) != 0) {
        observer.signature_differs();
    }
    observer.header(header);
    observer.stage(ReadStage::iv, header.iv, sizeof header.iv);
    observer.stage(ReadStage::wanted_hash, header.wanted_hash, sizeof header.wanted_hash);

    // The header is not trusted with an allocation: what it claims must lie in the document, and
    // a document behind a trailer ends where the trailer begins.
    report.bytes_after_header = extent.length - header_v2_size;
    if (header.cipher_len > report.bytes_after_header) {
        return reading.whoops(NoDocument::ciphertext_past_end);
    }
    if (!observer.wants_decryption()) {
        const NoDocument refused = check_lengths(header);
        return refused == NoDocument::none ? nullptr : reading.whoops(refused);
    }
    return observer.wants_whole_payload() ? reading.whole(header, key)
                                          : reading.in_pieces(header, key);
}

bool TeeObserver::wants_whole_payload() const {
    return a_.wants_whole_payload() || b_.wants_whole_payload();
}
bool TeeObserver::wants_decryption() const {
    return a_.wants_decryption() || b_.wants_decryption();
}
void TeeObserver::signature_differs() {
    a_.signature_differs();
    b_.signature_differs();
}
void TeeObserver::header(const HeaderV2& header) {
    a_.header(header);
    b_.header(header);
}
void TeeObserver::stage(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count) {
    a_.stage(stage, bytes, count);
    b_.stage(stage, bytes, count);
}
// The second sees the stage whole before the first works through it, since the reader changes the
// bytes behind the first.
void TeeObserver::stage_then(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count,
                             StageFollower& then) {
    b_.stage(stage, bytes, count);
    a_.stage_then(stage, bytes, count, then);
}
void TeeObserver::whoops(NoDocument reason, bool behind_trailer) {
    a_.whoops(reason, behind_trailer);
    b_.whoops(reason, behind_trailer);
}
void TeeObserver::decrypted(std::uint32_t offset, const std::uint8_t* bytes, std::size_t count) {
    a_.decrypted(offset, bytes, count);
    b_.decrypted(offset, bytes, count);
}
void TeeObserver::text(const std::uint8_t* bytes, std::size_t count) {
    a_.text(bytes, count);
    b_.text(bytes, count);
}
void TeeObserver::hash_resume(const Sha256Context& state, std::uint32_t prefix_length,
                              const std::uint8_t* tail, std::uint32_t tail_length) {
    a_.hash_resume(state, prefix_length, tail, tail_length);
    b_.hash_resume(state, prefix_length, tail, tail_length);
}
