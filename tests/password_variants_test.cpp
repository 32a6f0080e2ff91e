#include "verdict/password_variants.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/case_name.h"
#include "support/counting_allocator.h"
#include "verdict/code_pages.h"

using namespace verdict;

namespace {

using Variant = std::pair<std::string, std::string>;  // "name" or "name<from", bytes

std::vector<Variant> variants_of(const std::string& password, Plaintext& scratch) {
    std::vector<Variant> seen;
    const auto use = [](void* context, const VariantName& name, const std::uint8_t* bytes,
                        std::size_t length) {
        const std::string label = std::string(name.kind).substr(9, 1) + ":" + name.name +
                                  (name.from != nullptr ? std::string("<") + name.from : "");
        static_cast<std::vector<Variant>*>(context)->emplace_back(
            label, std::string(reinterpret_cast<const char*>(bytes), length));
        return false;
    };
    EXPECT_FALSE(for_each_password_variant(reinterpret_cast<const std::uint8_t*>(password.data()),
                                           password.size(), use, &seen, scratch));
    return seen;
}

// "e:" an encoding, "v:" a variant; every variant the password has, in order.
struct VariantCase {
    const char* name;
    std::string password;
    std::vector<Variant> expected;
};
using testsupport::PrintTo;
const std::string ascii_utf16 = std::string(
    "S\0e\0c\0r\0e\0t\0"
    "1\0",
    14);
const VariantCase cases[] = {
    {"ascii",
     "Secret1",
     {{"e:utf-16le", ascii_utf16},
      {"v:trailing-lf", "Secret1\n"},
      {"v:trailing-crlf", "Secret1\r\n"},
      {"v:trailing-space", "Secret1 "},
      {"v:caps-lock", "sECRET1"},
      {"v:lower-case", "secret1"},
      {"v:upper-case", "SECRET1"}}},
    {"German in UTF-8",
     "P\xC3\xA4ssw\xC3\xB6rd",  // Pässwörd: 1252 and 8859-1 agree, 437 and 850 too
     {{"e:windows-1252", "P\xE4ssw\xF6rd"},
      {"e:ibm437", "P\x84ssw\x94rd"},
      {"e:mac-roman", "P\x8Assw\x9Ard"},
      {"e:utf-16le", std::string("P\0\xE4\0s\0s\0w\0\xF6\0r\0d\0", 16)},
      {"e:nfd",
       "Pa\xCC\x88ssw"
       "o\xCC\x88rd"},
      {"v:trailing-lf", "P\xC3\xA4ssw\xC3\xB6rd\n"},
      {"v:trailing-crlf", "P\xC3\xA4ssw\xC3\xB6rd\r\n"},
      {"v:trailing-space", "P\xC3\xA4ssw\xC3\xB6rd "},
      {"v:caps-lock", "p\xC3\x84SSW\xC3\x96RD"},
      {"v:lower-case", "p\xC3\xA4ssw\xC3\xB6rd"},
      {"v:upper-case", "P\xC3\x84SSW\xC3\x96RD"}}},
    {"Russian in UTF-8",
     "\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C",  // Пароль
     {{"e:utf-16le", std::string("\x1F\x04\x30\x04\x40\x04\x3E\x04\x3B\x04\x4C\x04", 12)},
      {"v:trailing-lf", "\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C\n"},
      {"v:trailing-crlf", "\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C\r\n"},
      {"v:trailing-space", "\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C "},
      {"v:caps-lock", "\xD0\xBF\xD0\x90\xD0\xA0\xD0\x9E\xD0\x9B\xD0\xAC"},  // пАРОЛЬ
      {"v:lower-case", "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C"},
      {"v:upper-case", "\xD0\x9F\xD0\x90\xD0\xA0\xD0\x9E\xD0\x9B\xD0\xAC"}}},
    {"cp1252 bytes, not UTF-8",
     "Gr\xFC\xDF"
     "e",  // Grüße typed on Windows
     {{"e:utf-8<windows-1252",
       "Gr\xC3\xBC\xC3\x9F"
       "e"},
      {"e:utf-8<ibm437",
       "Gr\xE2\x81\xBF\xE2\x96\x80"
       "e"},  // ⁿ▀
      {"e:utf-8<ibm850",
       "Gr\xC2\xB3\xE2\x96\x80"
       "e"},  // ³▀
      {"v:trailing-lf",
       "Gr\xFC\xDF"
       "e\n"},
      {"v:trailing-crlf",
       "Gr\xFC\xDF"
       "e\r\n"},
      {"v:trailing-space",
       "Gr\xFC\xDF"
       "e "},
      {"v:caps-lock",
       "gR\xFC\xDF"
       "E"},
      {"v:lower-case",
       "gr\xFC\xDF"
       "e"},
      {"v:upper-case",
       "GR\xFC\xDF"
       "E"}}},
    {"trailing spaces",
     "hunter2  ",  // upper-case repeats caps-lock, lower-case the password
     {{"e:utf-16le", std::string("h\0u\0n\0t\0e\0r\0"
                                 "2\0 \0 \0",
                                 18)},
      {"v:trailing-lf", "hunter2  \n"},
      {"v:trailing-crlf", "hunter2  \r\n"},
      {"v:trailing-space", "hunter2   "},
      {"v:trimmed", "hunter2"},
      {"v:caps-lock", "HUNTER2  "}}},
    {"decomposed accent",
     "Cafe\xCC\x81",  // no page has the lone accent
     {{"e:utf-16le", std::string("C\0a\0f\0e\0\x01\x03", 10)},
      {"e:nfc", "Caf\xC3\xA9"},
      {"v:trailing-lf", "Cafe\xCC\x81\n"},
      {"v:trailing-crlf", "Cafe\xCC\x81\r\n"},
      {"v:trailing-space", "Cafe\xCC\x81 "},
      {"v:caps-lock", "cAFE\xCC\x81"},
      {"v:lower-case", "cafe\xCC\x81"},
      {"v:upper-case", "CAFE\xCC\x81"}}},
    {"empty",
     "",
     {{"v:trailing-lf", "\n"}, {"v:trailing-crlf", "\r\n"}, {"v:trailing-space", " "}}},
    {"marks out of order",
     "Vie\xCC\x82\xCC\xA3t",  // circumflex before dot below
     {{"e:utf-16le", std::string("V\0i\0e\0\x02\x03\x23\x03t\0", 12)},
      {"e:nfc", "Vi\xE1\xBB\x87t"},
      {"e:nfd", "Vie\xCC\xA3\xCC\x82t"},  // Việt
      {"v:trailing-lf", "Vie\xCC\x82\xCC\xA3t\n"},
      {"v:trailing-crlf", "Vie\xCC\x82\xCC\xA3t\r\n"},
      {"v:trailing-space", "Vie\xCC\x82\xCC\xA3t "},
      {"v:caps-lock", "vIE\xCC\x82\xCC\xA3T"},
      {"v:lower-case", "vie\xCC\x82\xCC\xA3t"},
      {"v:upper-case", "VIE\xCC\x82\xCC\xA3T"}}},
};

class Variants : public testing::TestWithParam<VariantCase> {};

TEST_P(Variants, ExactlyTheExpectedOnesInOrder) {
    Plaintext scratch;
    const std::vector<Variant> got = variants_of(GetParam().password, scratch);
    EXPECT_EQ(got, GetParam().expected);
    EXPECT_TRUE(scratch.empty());
    for (std::uint32_t i = 0; i < scratch.capacity(); ++i) {
        ASSERT_EQ(scratch.data()[i], 0) << "scratch byte " << i << " not wiped";
    }
}
INSTANTIATE_TEST_SUITE_P(Passwords, Variants, testing::ValuesIn(cases), testsupport::CaseName{});

TEST(VariantWalk, StopsWhenUsedAndAllocatesNothingOnceWarm) {
    Plaintext scratch;
    variants_of("P\xC3\xA4ssw\xC3\xB6rd", scratch);
    int calls = 0;
    const auto second = [](void* context, const VariantName&, const std::uint8_t*, std::size_t) {
        return ++*static_cast<int*>(context) == 2;
    };
    testsupport::allocator::arm();
    const bool stopped = for_each_password_variant(reinterpret_cast<const std::uint8_t*>("Secret1"),
                                                   7, second, &calls, scratch);
    testsupport::allocator::disarm();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(testsupport::allocator::counts.blocks_taken, 0u);
}

// The code-page tables: every defined byte comes back from its code point (so no code point is
// listed twice), the undefined ones are where the charts leave gaps, and known points hold.
TEST(CodePages, RoundTripsAndKnownPoints) {
    const std::pair<const CodePage*, int> pages[] = {
        {&code_page_windows_1252, 123}, {&code_page_iso_8859_1, 128},
        {&code_page_ibm437, 128},       {&code_page_ibm850, 128},
        {&code_page_mac_roman, 128},    {&code_page_windows_1251, 127},
        {&code_page_koi8_r, 128},       {&code_page_windows_1253, 111}};
    for (const auto& [page, defined] : pages) {
        int count = 0;
        for (int b = 0; b < 256; ++b) {
            const char32_t c = code_page_decode(*page, std::uint8_t(b));
            if (c != 0 || b == 0) {
                ++count;
                EXPECT_EQ(code_page_encode(*page, c), b) << page->name << " byte " << b;
            }
        }
        EXPECT_EQ(count, 128 + defined) << page->name;
    }
    const std::tuple<const CodePage*, int, char32_t> points[] = {
        {&code_page_windows_1252, 0x80, U'€'}, {&code_page_windows_1252, 0x9F, U'Ÿ'},
        {&code_page_iso_8859_1, 0x85, 0x85},   {&code_page_ibm437, 0x81, U'ü'},
        {&code_page_ibm437, 0xE1, U'ß'},       {&code_page_ibm437, 0xB0, U'░'},
        {&code_page_ibm850, 0x9B, U'ø'},       {&code_page_ibm850, 0xD5, U'ı'},
        {&code_page_mac_roman, 0x8A, U'ä'},    {&code_page_mac_roman, 0xDB, U'€'},
        {&code_page_windows_1251, 0xC0, U'А'}, {&code_page_windows_1251, 0xB9, U'№'},
        {&code_page_koi8_r, 0xC1, U'а'},       {&code_page_koi8_r, 0xFF, U'Ъ'},
        {&code_page_windows_1253, 0xA2, U'Ά'}, {&code_page_windows_1253, 0xD3, U'Σ'}};
    for (const auto& [page, byte, code_point] : points) {
        EXPECT_EQ(code_page_decode(*page, std::uint8_t(byte)), code_point)
            << page->name << " " << byte;
    }
    EXPECT_EQ(code_page_encode(code_page_windows_1252, 0x81), -1);  // a C1 control: not in the page
}

}  // namespace
