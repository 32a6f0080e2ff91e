#include "document/Document.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "platform/debug_output.h"

namespace {

Plaintext text_of(const std::string& bytes) {
    Plaintext text;
    text.resize(static_cast<std::uint32_t>(bytes.size()));
    if (!bytes.empty())
        std::memcpy(text.data(), bytes.data(), bytes.size());
    return text;
}

std::string bytes_of(const Plaintext& text) {
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

int swaps = 0;

TEST(Document, NewDocumentIsEmpty) {
    Document document;
    EXPECT_EQ(document.text_count(), 0);
    EXPECT_EQ(document.property("width"), "<null>");
    EXPECT_TRUE(document.all_properties().empty());
}

TEST(Document, TextsAreIndexedInOrderAndHeldAsOwnCopies) {
    Document document;
    Plaintext first = text_of("first");
    Plaintext second(32);
    second.resize(6);
    std::memcpy(second.data(), "second", 6);
    EXPECT_EQ(document.add_text(first), 0);
    EXPECT_EQ(document.add_text(second), 1);
    second.resize(2);
    first.clear();
    EXPECT_EQ(bytes_of(document.text(0)), "first");
    EXPECT_EQ(bytes_of(document.text(1)), "second");
    EXPECT_EQ(document.text(1).capacity(), 32u);
    EXPECT_EQ(document.text_count(), 2);
}

// A taken text keeps its very block (no second copy of a large payload), sits in order among
// copied ones, and leaves the source empty and usable.
TEST(Document, TakenTextsKeepTheirBlockAndLeaveTheSourceEmpty) {
    Document document;
    Plaintext taken(64);
    taken.resize(5);
    std::memcpy(taken.data(), "taken", 5);
    const std::uint8_t* block = taken.data();
    EXPECT_EQ(document.add_text(text_of("copied")), 0);
    EXPECT_EQ(document.take_text(taken), 1);
    EXPECT_EQ(document.text(1).data(), block);
    EXPECT_EQ(bytes_of(document.text(1)), "taken");
    EXPECT_EQ(document.text(1).capacity(), 64u);
    EXPECT_EQ(bytes_of(document.text(0)), "copied");
    EXPECT_TRUE(taken.empty());
    EXPECT_EQ(taken.capacity(), 0u);
    taken.append(reinterpret_cast<const std::uint8_t*>("again"), 5);
    EXPECT_EQ(document.take_text(taken), 2);
    EXPECT_EQ(bytes_of(document.text(2)), "again");
    EXPECT_EQ(bytes_of(document.text(1)), "taken");  // relocation by copy kept the content
}

TEST(Document, ReplaceTextIgnoresIndicesPastTheEnd) {
    Document document;
    document.add_text(text_of("kept"));
    swaps = 0;
    const auto previous = platform::set_debug_sink([](const char*) { ++swaps; });
    for (std::int32_t index : {1, 5, INT32_MAX}) {
        document.replace_text(index, text_of("other"));
    }
    EXPECT_EQ(swaps, 0);
    document.replace_text(0, text_of("new bytes"));
    platform::set_debug_sink(previous);
    EXPECT_EQ(swaps, 1);
    EXPECT_EQ(bytes_of(document.text(0)), "new bytes");
    EXPECT_EQ(document.text_count(), 1);
}

TEST(Document, PropertiesKeepTheLatestValueInByteOrder) {
    Document document;
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, std::string>>{{"width", "800"},
                                                          {"readonly", "1"},
                                                          {"width", "1024"},
                                                          {"Width", "x"},
                                                          {"\xE9t\xE9", "accent"},
                                                          {"maximized", ""},
                                                          {"height", "<null>"},
                                                          {"wid", "prefix"}}) {
        document.set_property(key, value);
    }
    EXPECT_EQ(document.property("width"), "1024");
    EXPECT_EQ(document.property("maximized"), "") << "empty is not absent";
    EXPECT_EQ(document.property("WIDTH"), "<null>");
    std::vector<std::string> keys;
    for (const auto& entry : document.all_properties())
        keys.push_back(entry.first);
    EXPECT_EQ(keys, (std::vector<std::string>{"Width", "height", "maximized", "readonly", "wid",
                                              "width", "\xE9t\xE9"}));
}

using DocumentDeathTest = ::testing::Test;

TEST(DocumentDeathTest, OutOfRangeAccessStopsTheProcess) {
    Document document;
    document.add_text(text_of("one"));
#ifdef _WIN32
    // The runtime's invalid-parameter status.
    const auto stopped = ::testing::ExitedWithCode(static_cast<int>(0xC0000417));
#else
    const auto stopped = ::testing::KilledBySignal(SIGABRT);
#endif
#ifdef NOTEDIAG_EMULATOR
    // qemu-user, which runs a cross build's tests, reports the signal that ended its program.
    const char* silent = "^(qemu: uncaught target signal 6 \\(Aborted\\) - core dumped\n)?$";
#else
    const char* silent = "^$";
#endif
    EXPECT_EXIT(document.text(1), stopped, silent) << "the stop says nothing of its own";
    EXPECT_DEATH(document.text(UINT32_MAX), "");
    EXPECT_DEATH(document.replace_text(-1, text_of("x")), "");
    EXPECT_DEATH(document.replace_text(INT32_MIN, text_of("x")), "");
}

}  // namespace
