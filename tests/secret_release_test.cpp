// Whole loads under an instrumented allocator: no released block may still hold the password or
// the decrypted text, and a header or trailer that claims gigabytes must not make the reader
// allocate them. This binary replaces the global allocator, so it runs on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "app/load_document.h"
#include "crypto/aes/aes.h"
#include "support/note_builder.h"
#include "support/temp_file.h"

namespace {

struct alignas(std::max_align_t) BlockHeader {
    std::size_t size;
};

bool armed = false;
std::size_t allocated_bytes = 0;
std::string secrets[2];
int leaky_releases = 0;

void* allocate(std::size_t size) {
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (header == nullptr)
        throw std::bad_alloc();
    header->size = size;
    if (armed)
        allocated_bytes += size;
    return header + 1;
}

bool holds(const char* block, std::size_t size, const std::string& secret) {
    return !secret.empty() &&
           std::search(block, block + size, secret.begin(), secret.end()) != block + size;
}

void release(void* block) noexcept {
    if (block == nullptr)
        return;
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (armed) {
        for (const auto& secret : secrets) {
            if (holds(static_cast<const char*>(block), header->size, secret))
                ++leaky_releases;
        }
    }
    std::free(header);
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void operator delete(void* block) noexcept {
    release(block);
}
void operator delete[](void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}

namespace {

using namespace testsupport;

struct Load {
    bool found;
    std::size_t allocated;
    int leaks;
};

// Loads `path` the way the tool does, from key buffer to released document, with the allocator
// armed throughout.
Load load_armed(const std::string& path, const std::string& password) {
    aes_tables_init();
    testing::internal::CaptureStdout();
    allocated_bytes = 0;
    leaky_releases = 0;
    armed = true;
    bool found = false;
    {
        Plaintext key;
        assign_c_string(key, password.c_str(), false);
        auto document = load_document(path, key);
        found = document != nullptr;
    }
    armed = false;
    testing::internal::GetCapturedStdout();
    return {found, allocated_bytes, leaky_releases};
}

TEST(SecretRelease, NoReleasedBlockKeepsThePasswordOrTheText) {
    Note note;
    note.password = "pw: a password long enough to be unmistakable in memory";
    note.text = std::string(5000, 'x') + "THE-DECRYPTED-SECRET-THAT-MUST-NOT-SURVIVE-RELEASE" +
                std::string(3000, 'y');
    secrets[0] = note.password;
    secrets[1] = "THE-DECRYPTED-SECRET-THAT-MUST-NOT-SURVIVE-RELEASE";
    TempDir dir;
    const std::string path = dir.write("note", build_note(note));

    const Load load = load_armed(path, note.password);
    EXPECT_TRUE(load.found);
    EXPECT_EQ(load.leaks, 0);

    // The check must be able to fail: a copy released unwiped is seen.
    armed = true;
    leaky_releases = 0;
    delete new std::string(secrets[1]);
    armed = false;
    EXPECT_EQ(leaky_releases, 1);
    secrets[0].clear();
    secrets[1].clear();
}

TEST(SecretRelease, ClaimsOfGigabytesAllocateLittle) {
    constexpr std::size_t one_mebibyte = 1 << 20;
    TempDir dir;
    std::string header = build_note(Note{});
    patch_le32(header, cipher_len_offset, 0xFFFFFFFF);
    header.resize(100);
    const Load huge_cipher = load_armed(dir.write("cipher", header), "secret");
    EXPECT_FALSE(huge_cipher.found);
    EXPECT_LT(huge_cipher.allocated, one_mebibyte);

    const Load huge_trailer =
        load_armed(dir.write("trailer", std::string(92, 'h') + trailer(0xFFFFFFFF)), "secret");
    EXPECT_FALSE(huge_trailer.found);
    EXPECT_LT(huge_trailer.allocated, one_mebibyte);
}

}  // namespace
