#include "verdict/text_evidence.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/case_name.h"
#include "support/cpu_paths.h"
#include "support/seed.h"
#include "verdict/code_pages.h"

using namespace verdict;
using namespace verdict::text_rules;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The classifier's processor paths; every case that classifies blocks runs on each.
std::vector<testsupport::CpuPath> classifier_paths() {
    return {{"portable", 0}, {"ssse3", platform::cpu_ssse3}};
}
class RandomBlocks : public testsupport::OnCpuPath<> {};
class RealText : public testsupport::OnCpuPath<> {};
class WrongKey : public testsupport::OnCpuPath<> {};
class Damage : public testsupport::OnCpuPath<> {};

// ---------------------------------------------------------------------------------------------
// The chance that random bytes pass, recomputed exactly from the automata.
struct PassRates {
    double bytes_any, utf8, units_any, units_alphabetic;
};

PassRates exact_pass_rates() {
    // Bytes: UTF-8 state x code-page state, by dynamic programming over the 16 positions.
    struct Key {
        Utf8State utf8;
        ByteState bytes;
        bool operator<(const Key& o) const {
            auto t = [](const Key& k) {
                return std::tuple(k.utf8, k.bytes.upper, k.bytes.separator,
                                  k.bytes.after_ascii_letter, k.bytes.after_upper_letter,
                                  k.bytes.alive);
            };
            return t(*this) < t(o);
        }
    };
    std::map<Key, double> states{{Key{utf8_start0, ByteState{}}, 1.0}};
    for (int position = 0; position < 16; ++position) {
        std::map<Key, double> next;
        for (const auto& [key, chance] : states) {
            for (int b = 0; b < 256; ++b) {
                Key k{utf8_step(key.utf8, std::uint8_t(b)), byte_step(key.bytes, std::uint8_t(b))};
                if (k.bytes.alive == 0) {
                    k.bytes = ByteState{0, false, false, 0, 0};  // what no rule reads any more
                }
                if (k.utf8 != utf8_dead || k.bytes.alive != 0) {
                    next[k] += chance / 256;
                }
            }
        }
        states.swap(next);
    }
    PassRates r{};
    for (const auto& [key, chance] : states) {
        r.utf8 += key.utf8 != utf8_dead ? chance : 0;
        r.bytes_any += key.utf8 != utf8_dead || byte_accepts(key.bytes) ? chance : 0;
    }
    // Units: the 65536 values fall into a few classes; then the 8 positions.
    std::map<std::uint8_t, double> classes;
    for (int u = 0; u < 65536; ++u) {
        classes[unit_class(std::uint16_t(u))] += 1.0 / 65536;
    }
    std::map<std::uint8_t, std::uint16_t> representative;  // unit_step reads only the class
    for (int u = 65535; u >= 0; --u) {
        representative[unit_class(std::uint16_t(u))] = std::uint16_t(u);
    }
    std::map<std::tuple<std::uint8_t, bool, bool>, double> units{
        {{unit_any_script, false, false}, 1}};
    for (int position = 0; position < 8; ++position) {
        std::map<std::tuple<std::uint8_t, bool, bool>, double> next;
        for (const auto& [key, chance] : units) {
            for (const auto& [c, weight] : classes) {
                const UnitState s = unit_step(
                    {std::get<0>(key), std::get<1>(key), std::get<2>(key)}, representative[c]);
                if (s.scripts != 0) {
                    next[{s.scripts, s.started, s.pending_high}] += chance * weight;
                }
            }
        }
        units.swap(next);
    }
    for (const auto& [key, chance] : units) {
        r.units_any += chance;
        r.units_alphabetic += std::get<0>(key) & unit_alphabetic ? chance : 0;
    }
    return r;
}

const PassRates& pass_rates() {
    static const PassRates rates = exact_pass_rates();
    return rates;
}

TEST(RandomBlockRates, StatedBoundsAreTheExactSumsRoundedUp) {
    const PassRates& r = pass_rates();
    const double any = std::log2(r.bytes_any + r.units_any);
    const double strong = std::log2(r.utf8 + r.units_alphabetic);
    std::printf("bytes 2^%.4f utf8 2^%.4f units 2^%.4f alphabetic units 2^%.4f\n",
                std::log2(r.bytes_any), std::log2(r.utf8), std::log2(r.units_any),
                std::log2(r.units_alphabetic));
    EXPECT_LE(any, random_block_pass_log2);
    EXPECT_GT(any, random_block_pass_log2 - 0.01);
    EXPECT_LE(strong, random_block_strong_pass_log2);
    EXPECT_GT(strong, random_block_strong_pass_log2 - 0.01);
    EXPECT_LT(random_block_pass_log2, -9.0);  // the target the weak encodings were judged for
}

// 10^7 blocks of a seeded generator pass at the computed rates. Each part of the sum alone is a
// lower bound on the union, the sum an upper bound; a count outside 5 standard deviations of
// them fails.
TEST_P(RandomBlocks, MeasuredRateLiesWithinTheComputedBounds) {
    const testsupport::TestSeed seed;
    std::mt19937_64 rng(seed.value());
    const double n = 1e7;
    double any = 0, strong = 0;
    for (long i = 0; i < long(n); ++i) {
        std::uint64_t words[2] = {rng(), rng()};
        std::uint8_t block[16];
        std::memcpy(block, words, 16);
        const TextStrength s = classify_text_block(block);
        any += s != TextStrength::none;
        strong += s == TextStrength::strong;
    }
    const PassRates& r = pass_rates();
    const auto margin = [n](double p) { return 5 * std::sqrt(n * p) + 1; };
    std::printf("measured: any 2^%.3f strong 2^%.3f\n", std::log2(any / n), std::log2(strong / n));
    EXPECT_LE(any,
              n * std::exp2(random_block_pass_log2) + margin(std::exp2(random_block_pass_log2)));
    EXPECT_GE(any, n * std::max(r.bytes_any, r.units_any) - margin(r.bytes_any));
    EXPECT_LE(strong, n * std::exp2(random_block_strong_pass_log2) +
                          margin(std::exp2(random_block_strong_pass_log2)));
    EXPECT_GE(strong, n * r.utf8 - margin(r.utf8));
}

// ---------------------------------------------------------------------------------------------
// Real text. Sample paragraphs, encoded with the project's own tables; every aligned block of
// every sample, with the text shifted by 0 to 15 bytes (0 to 7 units), must pass.
struct Sample {
    const char* name;
    const char* text;  // UTF-8
};
const Sample samples[] = {
    {"english",
     "Shopping list for Saturday: 2 kg of potatoes, milk (the 1.5% one), eggs, coffee "
     "beans.\nCall Sam about the bike - he said \"maybe Tuesday?\" but it's been a week. "
     "Wi-Fi: 'lakeside-5G', password on the fridge!\r\nTODO: renew passport & back up "
     "photos to the disk; meeting at 10:30 AM [room #4].\n"},
    {"french",
     "Mardi matin, j'ai enfin trouvé le café près de la gare où l'on sert des croissants "
     "encore tièdes.\nNe pas oublier : rappeler le garagiste pour la révision, acheter "
     "des pêches et réserver l'hôtel à Lyon. Où ai-je mis la clé ? Sûrement à côté des "
     "bougies. Ça fait déjà trois fois, « hélas ».\n"},
    {"german",
     "Einkaufsliste für die Woche: Äpfel, Brötchen, Käse und Milch. Am Donnerstag müssen "
     "wir zum Bürgeramt; die Gebühr beträgt ungefähr dreißig Euro.\nDie Übergabe der "
     "Wohnung ist am Freitag, bitte alle Schlüssel mitbringen. Grüße an Jörg!\n"},
    {"spanish",
     "Querida Lucía: mañana salgo temprano hacia Córdoba y llegaré a las tres y media. "
     "¿Podrías recogerme? Llevo el libro y un jarrón de cerámica. ¡Qué ganas tengo de "
     "veros! La contraseña cambió el jueves.\n"},
    {"portuguese",
     "Lembrete: a reunião da associação será na próxima terça-feira, às dezanove "
     "horas. Não esquecer as atas e a lista de presenças; a senhora Conceição pediu "
     "ajuda com as cadeiras, o João disse que sim.\n"},
    {"russian",
     "Список дел на неделю: оплатить счёт за электричество, записаться к врачу на "
     "четверг, купить подарок для бабушки.\nПароль от почты сменил в понедельник, "
     "новый записан в блокноте. Не забыть позвонить Ивану Петровичу насчёт ремонта "
     "крыши - он обещал прислать смету до 30 числа.\n"},
    {"ukrainian",
     "Нотатки на вихідні: зустріч з друзями в суботу о шостій вечора. Треба купити "
     "хліб, їжу для кота і квіти для мами. Ґудзик на пальті відірвався. Єдине, що "
     "турбує, — погода.\n"},
    {"greek",
     "Σημειώσεις για την εβδομάδα: την Τρίτη πρέπει να πάω στην τράπεζα και στο "
     "ταχυδρομείο. Η συνάντηση με τον λογιστή είναι την Πέμπτη στις 10 το πρωί. Ο "
     "κωδικός του ασύρματου δικτύου άλλαξε χθες.\n"},
    {"chinese",
     "今天上午去银行办理了新卡，下午和朋友在咖啡馆讨论下个月的旅行计划。我们打算先坐火车去"
     "杭州，在西湖边住两天，然后去苏州看园林。邮箱的密码已经改了，新密码写在笔记本里。\n"},
    {"japanese",
     "明日の予定：午前十時に歯医者、午後は図書館で本を返す。夕方、駅前のスーパーで牛乳と"
     "卵、それから猫のえさを買うこと。パスワードは先週変えたので、メモを確認すること。\n"},
    {"korean",
     "다음 주 일정: 월요일 오전 아홉 시에 회의가 있고, 화요일에는 병원 예약이 있다. 주말에는 "
     "부모님 댁에 가서 김장을 도와 드려야 한다. 비밀번호는 수첩을 확인할 것.\n"},
    {"arabic",
     "ملاحظات الأسبوع: يوم الأحد اجتماع مع فريق العمل في الساعة العاشرة صباحا. لا تنس "
     "الاتصال بالطبيب لتأكيد الموعد. تم تغيير كلمة المرور الخاصة بالبريد.\n"},
    {"hebrew",
     "רשימת משימות לשבוע: ביום שני פגישה עם רואה החשבון בשעה עשר בבוקר. הסיסמה של "
     "הדואר השתנתה ביום חמישי, והיא כתובה במחברת הכחולה.\n"},
    {"emoji",
     "Party on Friday 🎉🎂 at 8pm! Bring snacks 🍕🍟 and drinks 🍺🥤. Tom is allergic "
     "to "
     "nuts 🥜❌. Weather looks fine ☀️🌤️, take a jacket 🧥 just in case 🌧️. "
     "Gift "
     "🎁 "
     "for Mia 👧 and the card 💌! 😀😃👨‍👩‍👧\n"},
    {"czech",
     "Poznámky na příští týden: v pondělí schůzka s účetní, v úterý odvézt auto do "
     "servisu. Heslo k e-mailu jsem změnil ve středu. V sobotu jedeme na chatu.\n"},
    {"vietnamese",
     "Ghi chú tuần này: thứ hai họp với nhóm lúc chín giờ sáng. Thứ tư đi khám bác "
     "sĩ. Mật khẩu thư điện tử đã đổi hôm thứ năm, ghi trong sổ tay.\n"},
    {"hindi",
     "इस सप्ताह के काम: सोमवार को बैंक जाना है और मंगलवार को डॉक्टर से मिलना है। ईमेल "
     "का पासवर्ड बदल दिया है, नया पासवर्ड नीली डायरी में लिखा है।\n"},
};

std::vector<char32_t> code_points(const char* utf8) {
    std::vector<char32_t> out;
    for (const auto* p = reinterpret_cast<const unsigned char*>(utf8); *p;) {
        const int extra = *p >= 0xF0 ? 3 : *p >= 0xE0 ? 2 : *p >= 0xC0 ? 1 : 0;
        char32_t c = *p++ & (0x7F >> extra);
        for (int i = 0; i < extra; ++i) {
            c = c << 6 | (*p++ & 0x3F);
        }
        out.push_back(c);
    }
    return out;
}

enum class Form { utf8, utf16le, page };
struct Encoding {
    const char* name;
    Form form;
    const CodePage* page;
};
const Encoding encodings[] = {
    {"utf-8", Form::utf8, nullptr},
    {"utf-16le", Form::utf16le, nullptr},
    {"windows-1252", Form::page, &code_page_windows_1252},
    {"iso-8859-1", Form::page, &code_page_iso_8859_1},
    {"ibm437", Form::page, &code_page_ibm437},
    {"ibm850", Form::page, &code_page_ibm850},
    {"mac-roman", Form::page, &code_page_mac_roman},
    {"windows-1251", Form::page, &code_page_windows_1251},
    {"koi8-r", Form::page, &code_page_koi8_r},
    {"windows-1253", Form::page, &code_page_windows_1253},
};

// Empty when the page lacks a character of the text.
Bytes encode(const std::vector<char32_t>& text, const Encoding& e) {
    Bytes out;
    for (const char32_t c : text) {
        if (e.form == Form::utf16le) {
            const bool pair = c > 0xFFFF;
            const char32_t units[2] = {pair ? 0xD7C0 + (c >> 10) : c, 0xDC00 | (c & 0x3FF)};
            for (int i = 0; i < 1 + pair; ++i) {
                out.push_back(std::uint8_t(units[i]));
                out.push_back(std::uint8_t(units[i] >> 8));
            }
        } else if (e.form == Form::utf8) {
            const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
            const std::uint8_t lead[] = {0, 0xC0, 0xE0, 0xF0};
            out.push_back(std::uint8_t(lead[extra] | c >> (6 * extra)));
            for (int i = extra - 1; i >= 0; --i) {
                out.push_back(std::uint8_t(0x80 | ((c >> (6 * i)) & 0x3F)));
            }
        } else {
            const int b = code_page_encode(*e.page, c);
            if (b < 0) {
                return {};
            }
            out.push_back(std::uint8_t(b));
        }
    }
    return out;
}

TEST_P(RealText, EveryAlignedBlockOfEverySamplePasses) {
    int blocks = 0, encoded = 0;
    for (const Sample& sample : samples) {
        std::printf("%s:", sample.name);
        for (const Encoding& e : encodings) {
            const Bytes text = encode(code_points(sample.text), e);
            if (text.empty()) {
                continue;
            }
            ++encoded;
            std::printf(" %s", e.name);
            const int unit = e.form == Form::utf16le ? 2 : 1;
            for (int shift = 0; shift < 16; shift += unit) {
                Bytes shifted;  // `shift` bytes of spaces in front, as units in UTF-16
                for (int i = 0; i < shift; i += unit) {
                    shifted.push_back(' ');
                    if (unit == 2) {
                        shifted.push_back(0);
                    }
                }
                shifted.insert(shifted.end(), text.begin(), text.end());
                for (std::size_t at = 0; at + 16 <= shifted.size(); at += 16, ++blocks) {
                    EXPECT_TRUE(block_looks_like_text(&shifted[at]))
                        << sample.name << " in " << e.name << ", shift " << shift << ", offset "
                        << at;
                }
            }
        }
        std::printf("\n");
    }
    std::printf("%d blocks of %d encoded samples\n", blocks, encoded);
    EXPECT_GE(encoded, 60);
}

// The fast classifier is the reference automata, block for block: on random bytes, on text, and on
// text with a few bytes changed (where the two would first part ways).
TEST_P(RealText, FastClassifierAgreesWithTheAutomata) {
    const testsupport::TestSeed seed;
    std::mt19937_64 rng(seed.value());
    std::vector<Bytes> texts;
    for (const Sample& sample : samples) {
        for (const Encoding& e : encodings) {
            if (Bytes t = encode(code_points(sample.text), e); t.size() >= 16) {
                texts.push_back(std::move(t));
            }
        }
    }
    std::map<TextStrength, int> seen;
    for (int i = 0; i < 2000000; ++i) {
        std::uint8_t block[16];
        if (i % 4 == 0) {
            for (auto& b : block) {
                b = std::uint8_t(rng());
            }
        } else if (i % 4 == 1) {  // bytes at the edges of the UTF-8 and code-page rules
            static const std::uint8_t edges[] = {
                0x00, 0x09, 0x0A, 0x0D, 0x1F, 0x20, 0x23, 0x2E, 0x41, 0x61, 0x7E, 0x7F, 0x80, 0x8F,
                0x90, 0x9F, 0xA0, 0xA8, 0xAB, 0xB8, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xD0, 0xD1, 0xDF,
                0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
            for (auto& b : block) {
                b = edges[rng() % sizeof edges];
            }
        } else if (i % 4 == 2) {  // units at the edges of the UTF-16 classes
            static const std::uint8_t highs[] = {
                0x00, 0x03, 0x04, 0x11, 0x1F, 0x20, 0x21, 0x26, 0x27, 0x2C, 0x30, 0x31, 0x4D, 0x4E,
                0x9F, 0xA0, 0xA6, 0xA7, 0xAC, 0xD7, 0xD8, 0xD9, 0xDB, 0xDC, 0xDF, 0xFB, 0xFE, 0xFF};
            for (int u = 0; u < 8; ++u) {
                block[2 * u] = std::uint8_t(rng());
                block[2 * u + 1] = highs[rng() % sizeof highs];
            }
        } else {
            const Bytes& t = texts[rng() % texts.size()];
            std::memcpy(block, &t[rng() % (t.size() - 15)], 16);
            for (int changes = int(rng() % 4); changes > 0; --changes) {
                block[rng() % 16] = rng() % 2 ? std::uint8_t(rng()) : std::uint8_t(1u << rng() % 8);
            }
        }
        const TextStrength fast = classify_text_block(block);
        ASSERT_EQ(fast, classify_text_block_reference(block))
            << "block " << i << ": " << testing::PrintToString(std::vector<int>(block, block + 16));
        ++seen[fast];
    }
    EXPECT_GT(seen[TextStrength::weak], 1000);  // every outcome was exercised
    EXPECT_GT(seen[TextStrength::strong], 100000);
}

// ---------------------------------------------------------------------------------------------
// Wrong keys: random payloads never reach "right", and from four judged blocks on, with the
// padding malformed, they get "wrong". A valid bound is a valid p-value: a wrong key's text bound
// falls to 2^t or below with a chance of at most 2^t per tier.
bool padding_well_formed(const std::uint8_t* last, std::uint32_t n) {
    bool ones = true, zeros = n < 16;
    for (std::uint32_t i = 16 - n; i < 16; ++i) {
        ones = ones && last[i] == n;
        zeros = zeros && last[i] == 0;
    }
    return n > 0 && (ones || zeros);
}

TextJudgement judge(const Bytes& payload, std::uint32_t padding, std::size_t piece = 16) {
    TextJudge judge(std::uint32_t(payload.size()), std::uint32_t(payload.size()) - padding);
    for (std::size_t at = 0; at < payload.size(); at += piece) {
        judge.feed(&payload[at], std::min(piece, payload.size() - at));
    }
    const bool formed = padding_well_formed(&payload[payload.size() - 16], padding);
    return judge.finish(formed, padding);
}

TEST_P(WrongKey, RandomPayloadsAreNeverRightAndNearlyAlwaysWrong) {
    const testsupport::TestSeed seed;
    std::mt19937_64 rng(seed.value());
    int trials = 0, wrong = 0, wrong_four = 0, trials_four = 0, below[3] = {};
    for (const std::uint32_t blocks : {1u, 2u, 4u, 5u, 8u, 33u, 300u}) {
        for (std::uint32_t padding = 0; padding <= 16; ++padding) {
            for (int t = 0; t < 600; ++t, ++trials) {
                Bytes payload(16 * blocks);
                for (auto& b : payload) {
                    b = std::uint8_t(rng());
                }
                const TextJudgement j = judge(payload, padding);
                const KeyAssessment a = assess_key(j);
                ASSERT_NE(a.judgement, KeyAssessment::Judgement::right) << a.evidence;
                wrong += a.judgement == KeyAssessment::Judgement::wrong;
                if (j.judged_blocks >= 4) {
                    ++trials_four;
                    wrong_four += a.judgement == KeyAssessment::Judgement::wrong;
                }
                for (int e = 0; e < 3; ++e) {
                    below[e] += j.text_chance_log2 <= -2.0 * (e + 2);
                }
            }
        }
    }
    std::printf("%d of %d wrong keys judged wrong, %d of %d with >= 4 judged blocks\n", wrong,
                trials, wrong_four, trials_four);
    EXPECT_GE(wrong_four, 0.985 * trials_four);  // padding of 1 byte is well-formed 1 time in 128
    for (int e = 0; e < 3; ++e) {
        const double allowed = 2 * std::exp2(-2.0 * (e + 2)) * trials;
        EXPECT_LE(below[e], allowed + 5 * std::sqrt(allowed)) << "bound 2^-" << 2 * (e + 2);
    }
}

// ---------------------------------------------------------------------------------------------
// Damage: ciphertext block i garbled turns plaintext block i random and flips the same bits of
// block i + 1; the damage names block i, and the password is still right.
TEST_P(Damage, EachGarbledBlockIsNamed) {
    const testsupport::TestSeed seed;
    std::mt19937_64 rng(seed.value());
    const std::pair<const char*, const Encoding*> texts[] = {{samples[0].text, &encodings[0]},
                                                             {samples[5].text, &encodings[0]},
                                                             {samples[1].text, &encodings[2]},
                                                             {samples[8].text, &encodings[1]},
                                                             {samples[5].text, &encodings[8]}};
    for (const auto& [text, encoding] : texts) {
        Bytes plain = encode(code_points(text), *encoding);
        ASSERT_GE(plain.size(), 100u) << encoding->name;
        const std::uint32_t padding = 16 - plain.size() % 16;
        plain.insert(plain.end(), padding, std::uint8_t(padding));
        const std::uint32_t blocks = std::uint32_t(plain.size() / 16);
        ASSERT_EQ(assess_key(judge(plain, padding)).every_block_text, true) << encoding->name;
        for (std::uint32_t i = 0; i < blocks; ++i) {
            for (const bool one_bit : {false, true}) {
                Bytes damaged = plain;
                std::uint8_t delta[16];
                do {
                    for (auto& d : delta) {
                        d = std::uint8_t(rng());
                    }
                    for (int b = 0; b < 16; ++b) {
                        damaged[16 * i + b] = plain[16 * i + b] ^ delta[b];
                    }
                } while (block_looks_like_text(&damaged[16 * i]) ||
                         (i + 1 == blocks && padding_well_formed(&damaged[16 * i], padding)));
                if (i + 1 < blocks) {
                    if (one_bit) {
                        std::memset(delta, 0, 16);
                        delta[rng() % 16] = std::uint8_t(1u << rng() % 8);
                    }
                    for (int b = 0; b < 16; ++b) {
                        damaged[16 * (i + 1) + b] ^= delta[b];
                    }
                }
                const KeyAssessment a = assess_key(judge(damaged, padding, 32));
                ASSERT_EQ(a.judgement, KeyAssessment::Judgement::right) << a.evidence;
                ASSERT_EQ(a.damage.size(), 1u) << encoding->name << " block " << i;
                EXPECT_EQ(a.damage[0].first_block, i);
                EXPECT_EQ(a.damage[0].block_count, 1u);
                EXPECT_FALSE(a.every_block_text);
            }
        }
    }
}

// A long run names all its blocks but the last; runs past the 64th are counted, not kept; pieces
// of any size judge alike.
TEST_P(Damage, LongRunsAndManyRuns) {
    Bytes plain;
    for (int i = 0; i < 400; ++i) {
        plain.resize(plain.size() + 16, 0xFF);  // no text in any encoding
        if (i % 3 != 1) {
            std::memcpy(&plain[16 * i], "sixteen bytes ok", 16);
        }
    }
    std::memset(&plain[16 * 200], 0xFF, 16 * 5);  // blocks 200..204: a run of 5 with 199 and 205
    const TextJudgement j = judge(plain, 0, 16 * 7);
    EXPECT_EQ(j.run_count, max_listed_runs);
    EXPECT_EQ(j.unlisted_runs, 131u - max_listed_runs);  // 133 runs, three merged in 199..205
    const KeyAssessment a = assess_key(j);
    ASSERT_EQ(a.judgement, KeyAssessment::Judgement::right);
    EXPECT_EQ(a.damage.size(), max_listed_runs);
    EXPECT_EQ(a.unlisted_damage_runs, j.unlisted_runs);
    const TextJudgement whole = judge(plain, 0, plain.size());
    EXPECT_EQ(whole.text_blocks, j.text_blocks);
    EXPECT_EQ(std::memcmp(whole.runs, j.runs, sizeof j.runs), 0);
    Bytes tail(plain.begin() + 16 * 190, plain.end());
    const KeyAssessment t = assess_key(judge(tail, 0));
    ASSERT_GE(t.damage.size(), 5u);
    EXPECT_EQ(t.damage[3].first_block, 9u);  // block 199 of the whole, 7 blocks long
    EXPECT_EQ(t.damage[3].block_count, 6u);
    // Long stretches of one kind, across the judge's batches of 256 blocks.
    Bytes stretches(16 * 1800, 0xFF);
    for (std::size_t at = 16 * 600; at < 16 * 1200; at += 16) {
        std::memcpy(&stretches[at], "sixteen bytes ok", 16);
    }
    for (const std::size_t piece : {std::size_t{16}, std::size_t{16 * 300}, stretches.size()}) {
        const TextJudgement s = judge(stretches, 0, piece);
        EXPECT_EQ(s.text_blocks, 600u);
        ASSERT_EQ(s.run_count, 2u) << piece;
        EXPECT_EQ(s.runs[0].first_block, 0u);
        EXPECT_EQ(s.runs[0].block_count, 600u);
        EXPECT_EQ(s.runs[1].first_block, 1200u);
        EXPECT_EQ(s.runs[1].block_count, 600u);
    }
}

// ---------------------------------------------------------------------------------------------
// The judgement's rules and wording, on payloads built block by block and judged as the tool does.
struct AssessCase {
    const char* name;
    std::uint32_t judged, text, strong;
    bool has_padding, formed;
    std::uint32_t padding;
    KeyAssessment::Judgement expected;
    const char* evidence;
};
using J = KeyAssessment::Judgement;
const AssessCase assess_cases[] = {
    {"all text and padding", 12, 12, 12, true, true, 15, J::right,
     "12 of 12 blocks decrypt to text and 15 padding bytes are well-formed; a wrong password "
     "shows this by chance below 2^-314"},
    {"sixteen padding bytes alone", 0, 0, 0, true, true, 16, J::right,
     "no block to judge as text and 16 padding bytes are well-formed; a wrong password shows "
     "this by chance below 2^-128"},
    {"nothing seen", 4, 0, 0, true, false, 3, J::wrong,
     "0 of 4 blocks decrypt to text and the padding is malformed; any wrong password shows as "
     "much"},
    {"one weak block of four", 4, 1, 0, false, false, 0, J::wrong,
     "1 of 4 blocks decrypt to text and there is no padding; a wrong password shows this by "
     "chance below 2^-7"},
    {"two weak blocks of four", 4, 2, 0, false, false, 0, J::undecided, nullptr},
    {"two strong blocks of four", 4, 2, 2, true, false, 1, J::undecided, nullptr},
    // Four blocks with the padding's: one damaged block cannot look like this.
    {"three blocks and the padding block", 3, 0, 0, true, false, 1, J::wrong, nullptr},
    {"two blocks and the padding block", 2, 0, 0, true, false, 1, J::undecided, nullptr},
    {"one padding byte", 40, 0, 0, true, true, 1, J::undecided,
     "0 of 40 blocks decrypt to text and 1 padding byte is well-formed; a wrong password shows "
     "this by chance below 2^-7"},
    {"three strong blocks of one hundred", 100, 3, 3, false, false, 0, J::undecided, nullptr},
    {"five strong blocks of one hundred", 100, 5, 5, false, false, 0, J::right, nullptr},
};
using testsupport::PrintTo;
class Assess : public testing::TestWithParam<AssessCase> {};

TEST_P(Assess, JudgementAndEvidence) {
    const AssessCase& c = GetParam();
    const auto block = [](const char* s) { return Bytes(s, s + 16); };
    const Bytes strong = block("sixteen bytes ok");
    const Bytes weak = block("caf\xE9 au lait, ok");  // windows-1252, not UTF-8
    const Bytes noise(16, 0xFF);
    ASSERT_EQ(classify_text_block(strong.data()), TextStrength::strong);
    ASSERT_EQ(classify_text_block(weak.data()), TextStrength::weak);
    ASSERT_EQ(classify_text_block(noise.data()), TextStrength::none);

    Bytes payload;
    for (std::uint32_t i = 0; i < c.judged; ++i) {
        const Bytes& block = i < c.strong ? strong : i < c.text ? weak : noise;
        payload.insert(payload.end(), block.begin(), block.end());
    }
    payload.resize(payload.size() + (c.has_padding ? 16 : 0));  // what it holds is the caller's
    const auto cipher_len = std::uint32_t(payload.size());
    TextJudge judge(cipher_len, cipher_len - c.padding);
    judge.feed(payload.data(), payload.size());
    const KeyAssessment a = assess_key(judge.finish(c.formed, c.padding));
    EXPECT_EQ(a.judgement, c.expected) << a.evidence;
    if (c.evidence != nullptr) {
        EXPECT_EQ(a.evidence, c.evidence);
    }
}
INSTANTIATE_TEST_SUITE_P(Cases, Assess, testing::ValuesIn(assess_cases), testsupport::CaseName{});

// ---------------------------------------------------------------------------------------------
// The tail bound against the exact tail, summed in long double, for small n.
TEST(BinomialTail, BoundsTheExactTailWithinOneBit) {
    for (const double log2_p : {-16.35, -9.99, -3.0, -1.0, std::log2(0.3)}) {
        const long double p = std::exp2l(log2_p);
        for (std::uint64_t n = 1; n <= 40; ++n) {
            for (std::uint64_t k = 0; k <= n; ++k) {
                long double tail = 0, choose = 1;
                for (std::uint64_t i = 0; i <= n; ++i) {
                    if (i >= k) {
                        tail += choose * std::pow(p, (long double)i) *
                                std::pow(1 - p, (long double)(n - i));
                    }
                    choose = choose * (n - i) / (i + 1);
                }
                const double exact = double(std::log2(tail));
                const double bound = log2_binomial_tail_bound(n, k, log2_p);
                EXPECT_GE(bound, exact - 1e-9) << n << " " << k << " " << log2_p;
                const double r = double((n - k) * p / ((k + 1) * (1 - p)));
                if (double(k) > double(n * p) && r <= 0.5) {
                    EXPECT_LE(bound, exact + 1) << n << " " << k << " " << log2_p;
                }
            }
        }
    }
    const std::uint64_t big = std::uint64_t{1} << 27;  // a 2 GiB note
    EXPECT_NEAR(log2_binomial_tail_bound(big, big, -9.99), -9.99 * double(big), 0.01);
    EXPECT_EQ(log2_binomial_tail_bound(big, big >> 10, -9.99), 0);  // about the mean
    EXPECT_LT(log2_binomial_tail_bound(big, big >> 9, -9.99), -40000);
}

TEST(Padding, ChanceOfWellFormedBytes) {
    const std::pair<std::uint32_t, double> cases[] = {
        {0, 0}, {1, -7}, {2, -15}, {15, -119}, {16, -128}};
    for (const auto& [n, expected] : cases) {
        EXPECT_EQ(padding_chance_log2(n), expected) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, RandomBlocks,
                         testing::Combine(testing::ValuesIn(classifier_paths())),
                         testsupport::CaseName{});
INSTANTIATE_TEST_SUITE_P(Paths, RealText, testing::Combine(testing::ValuesIn(classifier_paths())),
                         testsupport::CaseName{});
INSTANTIATE_TEST_SUITE_P(Paths, WrongKey, testing::Combine(testing::ValuesIn(classifier_paths())),
                         testsupport::CaseName{});
INSTANTIATE_TEST_SUITE_P(Paths, Damage, testing::Combine(testing::ValuesIn(classifier_paths())),
                         testsupport::CaseName{});

}  // namespace
