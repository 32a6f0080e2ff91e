#include "verdict/password_variants.h"

#include <cstring>
#include <utility>

#include "platform/check.h"
#include "platform/secure_wipe.h"
#include "platform/utf8.h"
#include "verdict/code_pages.h"

namespace verdict {
namespace {

// ---------------------------------------------------------------------------------------------
// UTF-8, strictly (no overlong form, no surrogate, nothing above U+10FFFF), as the escaper reads
// it: the code point at `i`, and `i` moved past it.
bool read_utf8(const std::uint8_t* p, std::size_t n, std::size_t& i, char32_t& c) {
    const std::uint8_t lead = p[i];
    const int length = lead < 0x80 ? 1 : platform::utf8_sequence_length(p + i, n - i);
    if (length <= 0) {
        return false;
    }
    c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        c = c << 6 | (p[i + k] & 0x3F);
    }
    i += std::size_t(length);
    return true;
}

bool valid_utf8(const std::uint8_t* p, std::size_t n) {
    char32_t c;
    for (std::size_t i = 0; i < n;) {
        if (!read_utf8(p, n, i, c)) {
            return false;
        }
    }
    return true;
}

std::size_t put_utf8(std::uint8_t* out, char32_t c) {
    if (c < 0x80) {
        out[0] = std::uint8_t(c);
        return 1;
    }
    const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    const std::uint8_t lead[] = {0, 0xC0, 0xE0, 0xF0};
    out[0] = std::uint8_t(lead[extra] | c >> (6 * extra));
    for (int k = 1; k <= extra; ++k) {
        out[k] = std::uint8_t(0x80 | ((c >> (6 * (extra - k))) & 0x3F));
    }
    return std::size_t(extra) + 1;
}

// ---------------------------------------------------------------------------------------------
// Canonical decompositions of the precomposed Latin letters: {letter, base, combining mark}, by
// letter. A base may itself decompose (U+1EC7 is U+1EB9 and a circumflex).
struct Decomposition {
    char16_t composed, base, mark;
};
constexpr Decomposition decompositions[] = {
    {0x00C0, 0x0041, 0x0300}, {0x00C1, 0x0041, 0x0301}, {0x00C2, 0x0041, 0x0302},
    {0x00C3, 0x0041, 0x0303}, {0x00C4, 0x0041, 0x0308}, {0x00C5, 0x0041, 0x030A},
    {0x00C7, 0x0043, 0x0327}, {0x00C8, 0x0045, 0x0300}, {0x00C9, 0x0045, 0x0301},
    {0x00CA, 0x0045, 0x0302}, {0x00CB, 0x0045, 0x0308}, {0x00CC, 0x0049, 0x0300},
    {0x00CD, 0x0049, 0x0301}, {0x00CE, 0x0049, 0x0302}, {0x00CF, 0x0049, 0x0308},
    {0x00D1, 0x004E, 0x0303}, {0x00D2, 0x004F, 0x0300}, {0x00D3, 0x004F, 0x0301},
    {0x00D4, 0x004F, 0x0302}, {0x00D5, 0x004F, 0x0303}, {0x00D6, 0x004F, 0x0308},
    {0x00D9, 0x0055, 0x0300}, {0x00DA, 0x0055, 0x0301}, {0x00DB, 0x0055, 0x0302},
    {0x00DC, 0x0055, 0x0308}, {0x00DD, 0x0059, 0x0301}, {0x00E0, 0x0061, 0x0300},
    {0x00E1, 0x0061, 0x0301}, {0x00E2, 0x0061, 0x0302}, {0x00E3, 0x0061, 0x0303},
    {0x00E4, 0x0061, 0x0308}, {0x00E5, 0x0061, 0x030A}, {0x00E7, 0x0063, 0x0327},
    {0x00E8, 0x0065, 0x0300}, {0x00E9, 0x0065, 0x0301}, {0x00EA, 0x0065, 0x0302},
    {0x00EB, 0x0065, 0x0308}, {0x00EC, 0x0069, 0x0300}, {0x00ED, 0x0069, 0x0301},
    {0x00EE, 0x0069, 0x0302}, {0x00EF, 0x0069, 0x0308}, {0x00F1, 0x006E, 0x0303},
    {0x00F2, 0x006F, 0x0300}, {0x00F3, 0x006F, 0x0301}, {0x00F4, 0x006F, 0x0302},
    {0x00F5, 0x006F, 0x0303}, {0x00F6, 0x006F, 0x0308}, {0x00F9, 0x0075, 0x0300},
    {0x00FA, 0x0075, 0x0301}, {0x00FB, 0x0075, 0x0302}, {0x00FC, 0x0075, 0x0308},
    {0x00FD, 0x0079, 0x0301}, {0x00FF, 0x0079, 0x0308}, {0x0100, 0x0041, 0x0304},
    {0x0101, 0x0061, 0x0304}, {0x0102, 0x0041, 0x0306}, {0x0103, 0x0061, 0x0306},
    {0x0104, 0x0041, 0x0328}, {0x0105, 0x0061, 0x0328}, {0x0106, 0x0043, 0x0301},
    {0x0107, 0x0063, 0x0301}, {0x0108, 0x0043, 0x0302}, {0x0109, 0x0063, 0x0302},
    {0x010A, 0x0043, 0x0307}, {0x010B, 0x0063, 0x0307}, {0x010C, 0x0043, 0x030C},
    {0x010D, 0x0063, 0x030C}, {0x010E, 0x0044, 0x030C}, {0x010F, 0x0064, 0x030C},
    {0x0112, 0x0045, 0x0304}, {0x0113, 0x0065, 0x0304}, {0x0114, 0x0045, 0x0306},
    {0x0115, 0x0065, 0x0306}, {0x0116, 0x0045, 0x0307}, {0x0117, 0x0065, 0x0307},
    {0x0118, 0x0045, 0x0328}, {0x0119, 0x0065, 0x0328}, {0x011A, 0x0045, 0x030C},
    {0x011B, 0x0065, 0x030C}, {0x011C, 0x0047, 0x0302}, {0x011D, 0x0067, 0x0302},
    {0x011E, 0x0047, 0x0306}, {0x011F, 0x0067, 0x0306}, {0x0120, 0x0047, 0x0307},
    {0x0121, 0x0067, 0x0307}, {0x0122, 0x0047, 0x0327}, {0x0123, 0x0067, 0x0327},
    {0x0124, 0x0048, 0x0302}, {0x0125, 0x0068, 0x0302}, {0x0128, 0x0049, 0x0303},
    {0x0129, 0x0069, 0x0303}, {0x012A, 0x0049, 0x0304}, {0x012B, 0x0069, 0x0304},
    {0x012C, 0x0049, 0x0306}, {0x012D, 0x0069, 0x0306}, {0x012E, 0x0049, 0x0328},
    {0x012F, 0x0069, 0x0328}, {0x0130, 0x0049, 0x0307}, {0x0134, 0x004A, 0x0302},
    {0x0135, 0x006A, 0x0302}, {0x0136, 0x004B, 0x0327}, {0x0137, 0x006B, 0x0327},
    {0x0139, 0x004C, 0x0301}, {0x013A, 0x006C, 0x0301}, {0x013B, 0x004C, 0x0327},
    {0x013C, 0x006C, 0x0327}, {0x013D, 0x004C, 0x030C}, {0x013E, 0x006C, 0x030C},
    {0x0143, 0x004E, 0x0301}, {0x0144, 0x006E, 0x0301}, {0x0145, 0x004E, 0x0327},
    {0x0146, 0x006E, 0x0327}, {0x0147, 0x004E, 0x030C}, {0x0148, 0x006E, 0x030C},
    {0x014C, 0x004F, 0x0304}, {0x014D, 0x006F, 0x0304}, {0x014E, 0x004F, 0x0306},
    {0x014F, 0x006F, 0x0306}, {0x0150, 0x004F, 0x030B}, {0x0151, 0x006F, 0x030B},
    {0x0154, 0x0052, 0x0301}, {0x0155, 0x0072, 0x0301}, {0x0156, 0x0052, 0x0327},
    {0x0157, 0x0072, 0x0327}, {0x0158, 0x0052, 0x030C}, {0x0159, 0x0072, 0x030C},
    {0x015A, 0x0053, 0x0301}, {0x015B, 0x0073, 0x0301}, {0x015C, 0x0053, 0x0302},
    {0x015D, 0x0073, 0x0302}, {0x015E, 0x0053, 0x0327}, {0x015F, 0x0073, 0x0327},
    {0x0160, 0x0053, 0x030C}, {0x0161, 0x0073, 0x030C}, {0x0162, 0x0054, 0x0327},
    {0x0163, 0x0074, 0x0327}, {0x0164, 0x0054, 0x030C}, {0x0165, 0x0074, 0x030C},
    {0x0168, 0x0055, 0x0303}, {0x0169, 0x0075, 0x0303}, {0x016A, 0x0055, 0x0304},
    {0x016B, 0x0075, 0x0304}, {0x016C, 0x0055, 0x0306}, {0x016D, 0x0075, 0x0306},
    {0x016E, 0x0055, 0x030A}, {0x016F, 0x0075, 0x030A}, {0x0170, 0x0055, 0x030B},
    {0x0171, 0x0075, 0x030B}, {0x0172, 0x0055, 0x0328}, {0x0173, 0x0075, 0x0328},
    {0x0174, 0x0057, 0x0302}, {0x0175, 0x0077, 0x0302}, {0x0176, 0x0059, 0x0302},
    {0x0177, 0x0079, 0x0302}, {0x0178, 0x0059, 0x0308}, {0x0179, 0x005A, 0x0301},
    {0x017A, 0x007A, 0x0301}, {0x017B, 0x005A, 0x0307}, {0x017C, 0x007A, 0x0307},
    {0x017D, 0x005A, 0x030C}, {0x017E, 0x007A, 0x030C}, {0x01A0, 0x004F, 0x031B},
    {0x01A1, 0x006F, 0x031B}, {0x01AF, 0x0055, 0x031B}, {0x01B0, 0x0075, 0x031B},
    {0x01CD, 0x0041, 0x030C}, {0x01CE, 0x0061, 0x030C}, {0x01CF, 0x0049, 0x030C},
    {0x01D0, 0x0069, 0x030C}, {0x01D1, 0x004F, 0x030C}, {0x01D2, 0x006F, 0x030C},
    {0x01D3, 0x0055, 0x030C}, {0x01D4, 0x0075, 0x030C}, {0x01D5, 0x00DC, 0x0304},
    {0x01D6, 0x00FC, 0x0304}, {0x01D7, 0x00DC, 0x0301}, {0x01D8, 0x00FC, 0x0301},
    {0x01D9, 0x00DC, 0x030C}, {0x01DA, 0x00FC, 0x030C}, {0x01DB, 0x00DC, 0x0300},
    {0x01DC, 0x00FC, 0x0300}, {0x0218, 0x0053, 0x0326}, {0x0219, 0x0073, 0x0326},
    {0x021A, 0x0054, 0x0326}, {0x021B, 0x0074, 0x0326}, {0x1E80, 0x0057, 0x0300},
    {0x1E81, 0x0077, 0x0300}, {0x1E82, 0x0057, 0x0301}, {0x1E83, 0x0077, 0x0301},
    {0x1E84, 0x0057, 0x0308}, {0x1E85, 0x0077, 0x0308}, {0x1EA0, 0x0041, 0x0323},
    {0x1EA1, 0x0061, 0x0323}, {0x1EA2, 0x0041, 0x0309}, {0x1EA3, 0x0061, 0x0309},
    {0x1EA4, 0x00C2, 0x0301}, {0x1EA5, 0x00E2, 0x0301}, {0x1EA6, 0x00C2, 0x0300},
    {0x1EA7, 0x00E2, 0x0300}, {0x1EA8, 0x00C2, 0x0309}, {0x1EA9, 0x00E2, 0x0309},
    {0x1EAA, 0x00C2, 0x0303}, {0x1EAB, 0x00E2, 0x0303}, {0x1EAC, 0x1EA0, 0x0302},
    {0x1EAD, 0x1EA1, 0x0302}, {0x1EAE, 0x0102, 0x0301}, {0x1EAF, 0x0103, 0x0301},
    {0x1EB0, 0x0102, 0x0300}, {0x1EB1, 0x0103, 0x0300}, {0x1EB2, 0x0102, 0x0309},
    {0x1EB3, 0x0103, 0x0309}, {0x1EB4, 0x0102, 0x0303}, {0x1EB5, 0x0103, 0x0303},
    {0x1EB6, 0x1EA0, 0x0306}, {0x1EB7, 0x1EA1, 0x0306}, {0x1EB8, 0x0045, 0x0323},
    {0x1EB9, 0x0065, 0x0323}, {0x1EBA, 0x0045, 0x0309}, {0x1EBB, 0x0065, 0x0309},
    {0x1EBC, 0x0045, 0x0303}, {0x1EBD, 0x0065, 0x0303}, {0x1EBE, 0x00CA, 0x0301},
    {0x1EBF, 0x00EA, 0x0301}, {0x1EC0, 0x00CA, 0x0300}, {0x1EC1, 0x00EA, 0x0300},
    {0x1EC2, 0x00CA, 0x0309}, {0x1EC3, 0x00EA, 0x0309}, {0x1EC4, 0x00CA, 0x0303},
    {0x1EC5, 0x00EA, 0x0303}, {0x1EC6, 0x1EB8, 0x0302}, {0x1EC7, 0x1EB9, 0x0302},
    {0x1EC8, 0x0049, 0x0309}, {0x1EC9, 0x0069, 0x0309}, {0x1ECA, 0x0049, 0x0323},
    {0x1ECB, 0x0069, 0x0323}, {0x1ECC, 0x004F, 0x0323}, {0x1ECD, 0x006F, 0x0323},
    {0x1ECE, 0x004F, 0x0309}, {0x1ECF, 0x006F, 0x0309}, {0x1ED0, 0x00D4, 0x0301},
    {0x1ED1, 0x00F4, 0x0301}, {0x1ED2, 0x00D4, 0x0300}, {0x1ED3, 0x00F4, 0x0300},
    {0x1ED4, 0x00D4, 0x0309}, {0x1ED5, 0x00F4, 0x0309}, {0x1ED6, 0x00D4, 0x0303},
    {0x1ED7, 0x00F4, 0x0303}, {0x1ED8, 0x1ECC, 0x0302}, {0x1ED9, 0x1ECD, 0x0302},
    {0x1EDA, 0x01A0, 0x0301}, {0x1EDB, 0x01A1, 0x0301}, {0x1EDC, 0x01A0, 0x0300},
    {0x1EDD, 0x01A1, 0x0300}, {0x1EDE, 0x01A0, 0x0309}, {0x1EDF, 0x01A1, 0x0309},
    {0x1EE0, 0x01A0, 0x0303}, {0x1EE1, 0x01A1, 0x0303}, {0x1EE2, 0x01A0, 0x0323},
    {0x1EE3, 0x01A1, 0x0323}, {0x1EE4, 0x0055, 0x0323}, {0x1EE5, 0x0075, 0x0323},
    {0x1EE6, 0x0055, 0x0309}, {0x1EE7, 0x0075, 0x0309}, {0x1EE8, 0x01AF, 0x0301},
    {0x1EE9, 0x01B0, 0x0301}, {0x1EEA, 0x01AF, 0x0300}, {0x1EEB, 0x01B0, 0x0300},
    {0x1EEC, 0x01AF, 0x0309}, {0x1EED, 0x01B0, 0x0309}, {0x1EEE, 0x01AF, 0x0303},
    {0x1EEF, 0x01B0, 0x0303}, {0x1EF0, 0x01AF, 0x0323}, {0x1EF1, 0x01B0, 0x0323},
    {0x1EF2, 0x0059, 0x0300}, {0x1EF3, 0x0079, 0x0300}, {0x1EF4, 0x0059, 0x0323},
    {0x1EF5, 0x0079, 0x0323}, {0x1EF6, 0x0059, 0x0309}, {0x1EF7, 0x0079, 0x0309},
    {0x1EF8, 0x0059, 0x0303}, {0x1EF9, 0x0079, 0x0303},
};
constexpr std::size_t decomposition_count = sizeof decompositions / sizeof decompositions[0];

constexpr bool sorted_by_letter() {
    for (std::size_t i = 1; i < decomposition_count; ++i) {
        if (decompositions[i - 1].composed >= decompositions[i].composed) {
            return false;
        }
    }
    return true;
}
static_assert(sorted_by_letter(), "decompositions are looked up by bisection");

const Decomposition* decomposition_of(char32_t c) {
    std::size_t low = 0, high = decomposition_count;
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (decompositions[mid].composed < c) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low < decomposition_count && decompositions[low].composed == c ? &decompositions[low]
                                                                          : nullptr;
}

// The inverse: the letter that `base` and `mark` compose to, or 0.
char32_t composition_of(char32_t base, char32_t mark) {
    for (const Decomposition& d : decompositions) {
        if (d.base == base && d.mark == mark) {
            return d.composed;
        }
    }
    return 0;
}

// The canonical combining classes of the marks above; other characters count as starters.
int combining_class(char32_t c) {
    switch (c) {
        case 0x031B:
            return 216;  // horn
        case 0x0323:
        case 0x0326:
            return 220;  // dot and comma below
        case 0x0327:
        case 0x0328:
            return 202;  // cedilla, ogonek
        default:
            return c >= 0x0300 && c <= 0x030C ? 230 : 0;  // the marks above the letter
    }
}

// ---------------------------------------------------------------------------------------------
// Simple case mapping: ASCII everywhere; for UTF-8 text also Latin-1, Latin Extended-A, Greek and
// Cyrillic. Letters whose other case differs in more than the case (ß, ı, ſ, ĸ, ŉ) stay.
enum class Case { invert, lower, upper };

char32_t lower_of(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    if (c == 0x178) {
        return 0xFF;
    }
    const bool even_upper = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((even_upper && c % 2 == 0 && c != 0x130) || (odd_upper && c % 2 == 1)) {
        return c + 1;
    }
    return c;
}

char32_t upper_of(char32_t c) {
    if (c == 0x3C2) {
        return 0x3A3;  // final sigma
    }
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3CB) || (c >= 0x430 && c <= 0x44F)) {
        return c - 0x20;
    }
    if (c >= 0x450 && c <= 0x45F) {
        return c - 0x50;
    }
    if (c == 0xFF) {
        return 0x178;
    }
    const bool even_upper = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((even_upper && c % 2 == 1 && c != 0x131) || (odd_upper && c % 2 == 0)) {
        return c - 1;
    }
    return c;
}

char32_t change_case(char32_t c, Case to) {
    const char32_t lower = lower_of(c);
    switch (to) {
        case Case::lower:
            return lower;
        case Case::upper:
            return upper_of(c);
        case Case::invert:
            return lower != c ? lower : upper_of(c);
    }
    return c;
}

// ---------------------------------------------------------------------------------------------
// The variants are built one after the other in the scratch, behind a work area for the
// decomposed text, and stay there so each new one can be compared with those before it.
constexpr std::size_t max_password = std::size_t{16} << 20;
constexpr int max_variants = 24;

class Variants {
  public:
    Variants(const std::uint8_t* password, std::size_t length, VariantUse use, void* context,
             Plaintext& scratch)
        : password_(password), length_(length), use_(use), context_(context), scratch_(scratch) {
        NOTEDIAG_ASSERT(length <= max_password);
        // Room, per byte of the password: 12 for the decomposed code points, 5 for the five pages,
        // 2 for UTF-16, 1 + 3 for the composed and decomposed forms, 3 x 3 for the re-readings,
        // 3 for the added endings, 1 for the trimmed form and 3 x 2 for the cases.
        work_ = 12 * length;
        const std::size_t room = work_ + 42 * length + 64;
        scratch_.clear();
        scratch_.reserve(std::uint32_t(room));
        scratch_.resize(std::uint32_t(room));
        next_ = work_;
    }
    ~Variants() { scratch_.clear(); }
    Variants(const Variants&) = delete;
    Variants& operator=(const Variants&) = delete;

    bool run();

  private:
    std::uint8_t* out() { return scratch_.data() + next_; }
    // The password's first `n` bytes at out() (an empty password may come as a null pointer).
    void put_password(std::size_t n) {
        if (n != 0) {
            std::memcpy(out(), password_, n);
        }
    }
    static bool same(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
        return n == 0 || std::memcmp(a, b, n) == 0;
    }

    // Offers the `n` bytes just built at out() under `name`; true when `use` stopped the walk.
    bool offer(const char* kind, const char* name, const char* from, std::size_t n) {
        const std::uint8_t* bytes = out();
        if (n == length_ && same(bytes, password_, n)) {
            return false;
        }
        for (int i = 0; i < count_; ++i) {
            if (lengths_[i] == n && same(scratch_.data() + offsets_[i], bytes, n)) {
                return false;
            }
        }
        NOTEDIAG_ASSERT(count_ < max_variants);
        offsets_[count_] = next_;
        lengths_[count_++] = n;
        next_ += n;
        NOTEDIAG_ASSERT(next_ <= scratch_.size());
        return use_(context_, VariantName{kind, name, from}, bytes, n);
    }
    bool encoding(const char* name, std::size_t n, const char* from = nullptr) {
        return offer("password-encoding", name, from, n);
    }
    bool variant(const char* name, std::size_t n) {
        return offer("password-variant", name, nullptr, n);
    }

    bool to_code_page(const CodePage& page, std::size_t& n);
    std::size_t to_utf16le();
    bool from_code_page(const CodePage& page, std::size_t& n);
    std::size_t decompose();
    std::size_t put_code_points(std::size_t count);
    std::size_t compose(std::size_t count);
    std::size_t with_case(Case to, bool utf8);

    char32_t work_at(std::size_t i) const {
        char32_t c;
        std::memcpy(&c, scratch_.data() + 4 * i, 4);
        return c;
    }
    void set_work(std::size_t i, char32_t c) { std::memcpy(scratch_.data() + 4 * i, &c, 4); }

    const std::uint8_t* password_;
    std::size_t length_;
    VariantUse use_;
    void* context_;
    Plaintext& scratch_;
    std::size_t work_ = 0;  // bytes of code points at the start of the scratch
    std::size_t next_ = 0;  // where the next variant goes
    std::size_t offsets_[max_variants] = {};
    std::size_t lengths_[max_variants] = {};
    int count_ = 0;
};

bool Variants::to_code_page(const CodePage& page, std::size_t& n) {
    n = 0;
    char32_t c;
    for (std::size_t i = 0; i < length_;) {
        read_utf8(password_, length_, i, c);
        const int b = code_page_encode(page, c);
        if (b < 0) {
            return false;
        }
        out()[n++] = std::uint8_t(b);
    }
    return true;
}

std::size_t Variants::to_utf16le() {
    std::size_t n = 0;
    char32_t c;
    for (std::size_t i = 0; i < length_;) {
        read_utf8(password_, length_, i, c);
        const bool pair = c > 0xFFFF;
        char32_t units[2] = {pair ? 0xD7C0 + (c >> 10) : c, 0xDC00 | (c & 0x3FF)};
        for (int k = 0; k <= int(pair); ++k) {
            out()[n++] = std::uint8_t(units[k]);
            out()[n++] = std::uint8_t(units[k] >> 8);
        }
        platform::secure_wipe(units, sizeof units);
    }
    return n;
}

bool Variants::from_code_page(const CodePage& page, std::size_t& n) {
    n = 0;
    for (std::size_t i = 0; i < length_; ++i) {
        const char32_t c = code_page_decode(page, password_[i]);
        if (c == 0 && password_[i] != 0) {
            return false;  // undefined in the page
        }
        n += put_utf8(out() + n, c);
    }
    return true;
}

// Writes the canonical decomposition of the password's code points to the work area, marks in
// canonical order, and returns their count.
std::size_t Variants::decompose() {
    std::size_t count = 0;
    char32_t c;
    for (std::size_t i = 0; i < length_;) {
        read_utf8(password_, length_, i, c);
        char32_t parts[3] = {c, 0, 0};  // at most a letter and two marks
        int n = 1;
        while (const Decomposition* d = decomposition_of(parts[0])) {
            for (int k = n; k > 1; --k) {
                parts[k] = parts[k - 1];
            }
            parts[0] = d->base;
            parts[1] = d->mark;
            ++n;
        }
        for (int k = 0; k < n; ++k) {
            set_work(count++, parts[k]);
        }
        platform::secure_wipe(parts, sizeof parts);
    }
    // Canonical order: within a run of marks, by combining class, stably.
    for (std::size_t i = 1; i < count; ++i) {
        for (std::size_t j = i; j > 0; --j) {
            const int here = combining_class(work_at(j));
            const int before = combining_class(work_at(j - 1));
            if (here == 0 || before <= here) {
                break;
            }
            const char32_t swapped = work_at(j - 1);
            set_work(j - 1, work_at(j));
            set_work(j, swapped);
        }
    }
    return count;
}

std::size_t Variants::put_code_points(std::size_t count) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < count; ++i) {
        n += put_utf8(out() + n, work_at(i));
    }
    return n;
}

// Composes the decomposed code points in place: a mark joins the last starter unless a mark of the
// same or a higher class, or another starter, stands between them. Returns the new count.
std::size_t Variants::compose(std::size_t count) {
    std::size_t written = 0;
    std::size_t starter = count;  // none yet
    int last_class = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t c = work_at(i);
        const int cls = combining_class(c);
        if (starter < count && cls != 0 && (written == starter + 1 || last_class < cls)) {
            if (const char32_t composed = composition_of(work_at(starter), c)) {
                set_work(starter, composed);
                continue;
            }
        }
        if (cls == 0) {
            starter = written;
        }
        last_class = cls;
        set_work(written++, c);
    }
    return written;
}

std::size_t Variants::with_case(Case to, bool utf8) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < length_;) {
        char32_t c = password_[i];
        if (utf8) {
            read_utf8(password_, length_, i, c);
            n += put_utf8(out() + n, change_case(c, to));
        } else {
            ++i;
            out()[n++] = std::uint8_t(c < 0x80 ? change_case(c, to) : c);
        }
    }
    return n;
}

constexpr bool is_trailing_space(std::uint8_t b) {
    return b == ' ' || b == '\t' || b == '\r' || b == '\n';
}

bool Variants::run() {
    const bool utf8 = valid_utf8(password_, length_);
    std::size_t n = 0;
    if (utf8) {
        for (const CodePage* page : {&code_page_windows_1252, &code_page_iso_8859_1,
                                     &code_page_ibm437, &code_page_ibm850, &code_page_mac_roman}) {
            if (to_code_page(*page, n) && encoding(page->name, n)) {
                return true;
            }
        }
        if (encoding("utf-16le", to_utf16le()) ||
            encoding("nfc", put_code_points(compose(decompose()))) ||
            encoding("nfd", put_code_points(decompose()))) {
            return true;
        }
    } else {
        for (const CodePage* page :
             {&code_page_windows_1252, &code_page_ibm437, &code_page_ibm850}) {
            if (from_code_page(*page, n) && encoding("utf-8", n, page->name)) {
                return true;
            }
        }
    }
    const std::pair<const char*, const char*> endings[] = {
        {"trailing-lf", "\n"}, {"trailing-crlf", "\r\n"}, {"trailing-space", " "}};
    for (const auto& [name, ending] : endings) {
        put_password(length_);
        std::memcpy(out() + length_, ending, std::strlen(ending));
        if (variant(name, length_ + std::strlen(ending))) {
            return true;
        }
    }
    std::size_t kept = length_;
    while (kept > 0 && is_trailing_space(password_[kept - 1])) {
        --kept;
    }
    if (kept < length_) {
        put_password(kept);
        if (variant("trimmed", kept)) {
            return true;
        }
    }
    return variant("caps-lock", with_case(Case::invert, utf8)) ||
           variant("lower-case", with_case(Case::lower, utf8)) ||
           variant("upper-case", with_case(Case::upper, utf8));
}

}  // namespace

bool for_each_password_variant(const std::uint8_t* password, std::size_t length, VariantUse use,
                               void* context, Plaintext& scratch) {
    // An empty password may come without any bytes to point at; the copies and comparisons
    // below want a pointer all the same.
    static constexpr std::uint8_t nothing = 0;
    Variants variants(length == 0 ? &nothing : password, length, use, context, scratch);
    return variants.run();
}

bool for_each_password_variant(const std::uint8_t* password, std::size_t length, VariantUse use,
                               void* context) {
    Plaintext scratch;
    return for_each_password_variant(password, length, use, context, scratch);
}

}  // namespace verdict
