// Whole loads under an instrumented allocator: every block that holds password or plaintext bytes
// must be all zeros when it is released, every block taken during a load must be given back by its
// end, and a header or trailer that claims gigabytes must not make the reader allocate them. This
// binary replaces the global allocator, so it runs on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "app/load_document.h"
#include "app/transcript_observer.h"
#include "crypto/aes/aes.h"
#include "output/dump_pool.h"
#include "output/transcript.h"
#include "secure/os_block.h"
#include "support/counting_allocator.h"
#include "support/seed.h"
#include "support/temp_file.h"
#include "testkit/note_builder.h"

namespace {

namespace allocator = testsupport::allocator;

// Blocks taken while armed. A fixed table: the registry must not allocate through itself.
struct Block {
    const unsigned char* at;
    std::size_t size;
    bool held_secret;
};
constexpr std::size_t max_blocks = 4096;
Block blocks[max_blocks];
std::size_t block_count = 0;
bool registry_full = false;

int unwiped_releases = 0;
int mapped_blocks = 0;

// Every 8-byte window of the secrets, sorted. The secrets are random bytes, so a window found in
// a block is a remnant of a secret, not a coincidence: a partly wiped copy is seen as well as a
// whole one.
std::vector<std::uint64_t> fragments;
// A bit per hash of the fragments: most windows of a block are told apart from every fragment by
// one look here, without the search.
std::vector<bool> might_be_fragment(1 << 24);

std::size_t fragment_hash(std::uint64_t window) {
    return static_cast<std::size_t>((window * 0x9E3779B97F4A7C15u) >> 40);
}

void set_secrets(const std::vector<std::string>& secrets) {
    fragments.clear();
    for (const auto& secret : secrets) {
        for (std::size_t i = 0; i + 8 <= secret.size(); ++i) {
            std::uint64_t window;
            std::memcpy(&window, secret.data() + i, sizeof window);
            fragments.push_back(window);
        }
    }
    std::sort(fragments.begin(), fragments.end());
    std::fill(might_be_fragment.begin(), might_be_fragment.end(), false);
    for (const std::uint64_t fragment : fragments) {
        might_be_fragment[fragment_hash(fragment)] = true;
    }
}

bool holds_fragment(const unsigned char* at, std::size_t size) {
    for (std::size_t i = 0; i + 8 <= size; ++i) {
        std::uint64_t window;
        std::memcpy(&window, at + i, sizeof window);
        if (might_be_fragment[fragment_hash(window)] &&
            std::binary_search(fragments.begin(), fragments.end(), window))
            return true;
    }
    return false;
}

// Which blocks hold secret bytes is seen by looking: at every allocation and release each live
// block is searched, and one found holding a fragment is remembered as a holder from then on.
void mark_holders() {
    for (std::size_t i = 0; i < block_count; ++i) {
        Block& block = blocks[i];
        block.held_secret = block.held_secret || holds_fragment(block.at, block.size);
    }
}

void taken(void* at, std::size_t size, allocator::Form form) {
    mapped_blocks += form == allocator::Form::mapped ? 1 : 0;
    // A fresh block may hold what an earlier owner left in it, such as the test's own copies of
    // the secrets, released unwiped before the load; zeroed here, what it holds at its release
    // is what the tool wrote into it (a map node's unused string bytes were caught that way).
    std::memset(at, 0, size);
    mark_holders();
    if (block_count < max_blocks)
        blocks[block_count++] = {static_cast<const unsigned char*>(at), size, false};
    else
        registry_full = true;
}

void released(const unsigned char* at, std::size_t size, allocator::Form) {
    mark_holders();
    bool held = holds_fragment(at, size);
    for (std::size_t i = 0; i < block_count; ++i) {
        if (blocks[i].at == at) {
            held = held || blocks[i].held_secret;
            blocks[i] = blocks[--block_count];
            break;
        }
    }
    if (held && std::any_of(at, at + size, [](unsigned char b) { return b != 0; }))
        ++unwiped_releases;
}

using namespace testsupport;

void arm() {
    unwiped_releases = 0;
    mapped_blocks = 0;
    block_count = 0;
    registry_full = false;
    allocator::arm({taken, released});
}

struct Load {
    bool found;
    std::size_t allocated;
    int unwiped;
    std::size_t unreleased;
    int mapped;
};

// Loads `path` the way the tool does, from key buffer to released document and finished
// transcript; true when a document was found.
bool load(const std::string& path, const std::string& password) {
    Plaintext key;
    assign_c_string(key, password.c_str(), false);
    TranscriptObserver observer;
    DocumentReport report;
    const bool found = load_document(path, key, observer, report) != nullptr;
    transcript::finish();
    return found;
}

// The same with the allocator armed throughout.
Load load_armed(const std::string& path, const std::string& password) {
    aes_tables_init();
    testing::internal::CaptureStdout();
    arm();
    const bool found = load(path, password);
    allocator::disarm();
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(registry_full);
    return {found, allocator::counts.bytes_taken, unwiped_releases, block_count, mapped_blocks};
}

// `n` random bytes, none of them zero, so the password survives as a C string.
std::string random_bytes(std::mt19937& rng, std::size_t n) {
    std::uniform_int_distribution<int> byte(1, 255);
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(byte(rng));
    return bytes;
}

TEST(SecretRelease, EveryBlockThatHeldASecretIsZeroWhenReleased) {
    const TestSeed seed;
    std::mt19937 rng(seed.value());
    Note note;
    note.password = random_bytes(rng, 40);
    note.text = random_bytes(rng, 3000);
    set_secrets({note.password, note.text});
    TempDir dir;
    const std::string file = build_note(note);
    const std::string host =
        "host file bytes" + file + trailer(static_cast<std::uint32_t>(file.size()));

    for (const std::string& path : {dir.write("plain", file), dir.write("behind-trailer", host)}) {
        SCOPED_TRACE(path);
        const Load load = load_armed(path, note.password);
        EXPECT_TRUE(load.found);
        EXPECT_EQ(load.unwiped, 0) << "released blocks still holding secret bytes";
        EXPECT_EQ(load.unreleased, 0u) << "blocks taken during the load and never released";
    }

    // The check must be able to fail: a block that held a secret is caught when released with
    // 8 of its bytes left, and when released with the secret overwritten by anything but zeros.
    arm();
    auto* partly_wiped = new std::string(note.text);
    std::memset(partly_wiped->data(), 0, note.text.size() - 8);
    delete partly_wiped;
    auto* overwritten = new std::vector<char>(note.text.begin(), note.text.end());
    // Any allocation in between records the holder; called as functions, since the optimiser
    // may drop a new-expression paired with its delete.
    ::operator delete(::operator new(sizeof(int)));
    std::fill(overwritten->begin(), overwritten->end(), 'z');
    delete overwritten;
    allocator::disarm();
    EXPECT_EQ(unwiped_releases, 2);
    fragments.clear();
}

// A payload past the size from which the secure buffer maps its blocks, dumped serially and in
// parallel slices into the transcript's chunks (made small here, so that there are many): the
// mapped payload, the chunks and every heap block that held a secret are wiped when released.
TEST(SecretRelease, MappedBlocksAndTranscriptChunksAreWipedToo) {
    const TestSeed seed;
    std::mt19937 rng(seed.value());
    Note note;
    note.password = random_bytes(rng, 40);
    note.text = random_bytes(rng, secure::os_block_threshold + 1000);
    set_secrets({note.password, note.text});
    TempDir dir;
    const std::string path = dir.write("large", build_note(note));
    const std::size_t flush = transcript::flush_size_for_testing(128 * 1024);
    for (const unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        const unsigned previous = dump_pool::threads_for_testing(threads, true);
        // The pool's threads, once started, live on past a load: started before the armed one.
        testing::internal::CaptureStdout();
        load(path, note.password);
        testing::internal::GetCapturedStdout();

        const Load load = load_armed(path, note.password);
        EXPECT_TRUE(load.found);
        // The payload, and with two threads the three chunks of the transcript, one mapping.
        EXPECT_EQ(load.mapped, threads == 1 ? 1 : 2);
        EXPECT_EQ(load.unwiped, 0) << "released blocks still holding secret bytes";
        EXPECT_EQ(load.unreleased, 0u) << "blocks taken during the load and never released";
        dump_pool::threads_for_testing(previous);
    }
    transcript::flush_size_for_testing(flush);
    fragments.clear();
}

TEST(SecretRelease, ClaimsOfGigabytesAllocateLittle) {
    constexpr std::size_t one_mebibyte = 1 << 20;
    TempDir dir;
    std::string header = build_note(Note{});
    patch_le32(header, header_v2::cipher_len, 0xFFFFFFFF);
    header.resize(100);
    const Load huge_cipher = load_armed(dir.write("cipher", header), "secret");
    EXPECT_FALSE(huge_cipher.found);
    EXPECT_LT(huge_cipher.allocated, one_mebibyte);
    EXPECT_EQ(huge_cipher.unreleased, 0u);

    const Load huge_trailer =
        load_armed(dir.write("trailer", std::string(92, 'h') + trailer(0xFFFFFFFF)), "secret");
    EXPECT_FALSE(huge_trailer.found);
    EXPECT_LT(huge_trailer.allocated, one_mebibyte);
    EXPECT_EQ(huge_trailer.unreleased, 0u);
}

}  // namespace
