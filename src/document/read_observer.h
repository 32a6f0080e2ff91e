// What the version-2 reader tells as it reads: each stage, for whoever presents it. The transcript
// prints the stages as hex dumps; the verdict watches the decrypted text; the JSON report and the
// batch check need nothing but the record the reader returns. An observer that ignores a stage pays
// one virtual call for it, no formatting and no copy.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/sha256.h"
#include "document/report.h"

// The byte ranges the transcript dumps, in the order the reader reaches them.
enum class ReadStage : std::uint8_t {
    iv,
    wanted_hash,
    ciphertext,               // only with the whole payload
    plaintext_before_shrink,  // only with the whole payload
    decrypted_hash,
    plaintext,  // only with the whole payload
};

// How far back from the payload's end another plaintext length can be tried without hashing the
// text again (see ReadObserver::hash_resume).
inline constexpr std::uint32_t retry_reach = 256;

// Told which bytes of a stage its observer is done with (ReadObserver::stage_then).
class StageFollower {
  public:
    virtual void consumed(std::uint32_t from, std::uint32_t to) = 0;

  protected:
    ~StageFollower() = default;
};

class ReadObserver {
  public:
    virtual ~ReadObserver() = default;

    // True when the ciphertext and plaintext are to be shown whole: the reader then holds the
    // payload in one buffer, reports those stages and returns a Document. Otherwise it reads,
    // decrypts and hashes in pieces of at most read_piece_size bytes, hands the text to text(), and
    // returns no Document, so memory stays bounded whatever the note's size.
    virtual bool wants_whole_payload() const { return false; }
    // False when the observer wants the structure alone (--info): the reader then stops after
    // the header and the checks it makes without the key, and neither reads nor decrypts the
    // payload.
    virtual bool wants_decryption() const { return true; }

    // The header's first 8 bytes are not the version-2 signature: a remark, the reading goes on.
    virtual void signature_differs() {}
    // The header has been read whole.
    virtual void header(const HeaderV2&) {}
    // The bytes of one stage.
    virtual void stage(ReadStage, const std::uint8_t* /*bytes*/, std::uint32_t /*count*/) {}
    // The bytes of a stage that the reader goes on to work on: `then` is told, in order, of
    // consecutive ranges that together cover the stage, each as soon as the observer is done with
    // it, so that the reader may decrypt it in place or hash it while the observer shows the rest.
    // Every range but the last is a multiple of 16 bytes long. By default the whole stage is shown
    // first.
    virtual void stage_then(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count,
                            StageFollower& then) {
        this->stage(stage, bytes, count);
        then.consumed(0, count);
    }
    // The header is damaged beyond reading; the reader returns right after.
    virtual void whoops(NoDocument, bool /*behind_trailer*/) {}

    // The decrypted payload before it is trimmed, in order and in pieces of whole blocks;
    // `offset` counts from its start.
    virtual void decrypted(std::uint32_t /*offset*/, const std::uint8_t* /*bytes*/,
                           std::size_t /*count*/) {}
    // The trimmed text in order, in pieces; only without the whole payload (it is otherwise the
    // returned Document's text 0).
    virtual void text(const std::uint8_t* /*bytes*/, std::size_t /*count*/) {}
    // Once per decrypted payload: the hash state after its first `prefix_length` bytes (a
    // multiple of 64, within retry_reach + 63 of the end) and the payload's bytes from there to its
    // end. Finishing a copy of the state with tail bytes and the IV gives the check hash that any
    // plaintext length from prefix_length on would have had. Both are secret: copy them into
    // buffers that wipe themselves, or use them at once.
    virtual void hash_resume(const Sha256Context& /*state*/, std::uint32_t /*prefix_length*/,
                             const std::uint8_t* /*tail*/, std::uint32_t /*tail_length*/) {}
};

// The piece size of the bounded reading.
inline constexpr std::uint32_t read_piece_size = 256 * 1024;

// Wants the structure alone (--info, the candidate search's note): nothing is decrypted.
class StructureObserver : public ReadObserver {
  public:
    bool wants_decryption() const override { return false; }
};

// A reading observed by two observers, each told every stage in turn.
class TeeObserver : public ReadObserver {
  public:
    TeeObserver(ReadObserver& first, ReadObserver& second) : a_(first), b_(second) {}
    bool wants_whole_payload() const override;
    bool wants_decryption() const override;
    void signature_differs() override;
    void header(const HeaderV2& header) override;
    void stage(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count) override;
    void stage_then(ReadStage stage, const std::uint8_t* bytes, std::uint32_t count,
                    StageFollower& then) override;
    void whoops(NoDocument reason, bool behind_trailer) override;
    void decrypted(std::uint32_t offset, const std::uint8_t* bytes, std::size_t count) override;
    void text(const std::uint8_t* bytes, std::size_t count) override;
    void hash_resume(const Sha256Context& state, std::uint32_t prefix_length,
                     const std::uint8_t* tail, std::uint32_t tail_length) override;

  private:
    ReadObserver& a_;
    ReadObserver& b_;
};
