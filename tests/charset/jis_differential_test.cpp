// Shift_JIS <-> JIS checked against converters that share no code with ours: Debian's nkf
// (run as a subprocess) and glibc's iconv, on generated text of every character class mail
// carries, plus a seeded round-trip property over JIS X 0208, NEC row 13 and ASCII.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "charset/char_code_conv.hpp"
#include "platform/iconv_converter.hpp"

namespace brindle {
namespace {

constexpr const char* kNkf = "/usr/bin/nkf";

bool HaveNkf() {
    return access(kNkf, X_OK) == 0;
}

// nkf's output for input, or nullopt when it could not be run.
std::optional<std::string> RunNkf(const std::string& options, const std::string& input) {
    static int counter = 0;
    const auto path =
        std::filesystem::temp_directory_path() /
        ("brindle_charset_nkf_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
    {
        std::ofstream file(path, std::ios::binary);
        file.write(input.data(), static_cast<std::streamsize>(input.size()));
        if (!file) {
            return std::nullopt;
        }
    }
    const std::string command = std::string(kNkf) + " " + options + " '" + path.string() + "'";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r"); pipe != nullptr) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, n);
        }
        const int status = pclose(pipe);
        std::filesystem::remove(path);
        if (status != 0) {
            return std::nullopt;
        }
        return output;
    }
    std::filesystem::remove(path);
    return std::nullopt;
}

// Assigned CP932 double-byte characters whose lead bytes fall in the given ranges, as glibc
// knows them.
std::vector<std::string> AssignedPairs(std::initializer_list<std::pair<int, int>> lead_ranges) {
    IconvConverter to_utf8("UTF-8", "CP932");
    std::vector<std::string> pairs;
    for (const auto& [first, last] : lead_ranges) {
        for (int lead = first; lead <= last; ++lead) {
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (trail == 0x7F) {
                    continue;
                }
                const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
                if (to_utf8.ConvertStrict(pair)) {
                    pairs.push_back(pair);
                }
            }
        }
    }
    return pairs;
}

struct CharacterPools {
    std::vector<std::string> symbols = AssignedPairs({{0x81, 0x81}});
    std::vector<std::string> kana = AssignedPairs({{0x82, 0x83}});
    std::vector<std::string> level1 = AssignedPairs({{0x88, 0x98}});
    std::vector<std::string> level2 = AssignedPairs({{0x99, 0x9F}, {0xE0, 0xEA}});
    std::vector<std::string> nec_row13 = AssignedPairs({{0x87, 0x87}});
    std::vector<std::string> rows_2_to_8 = AssignedPairs({{0x82, 0x84}});
};

const CharacterPools& Pools() {
    static const CharacterPools pools;
    return pools;
}

// Random Shift_JIS text mixing the classes; half-width katakana only when asked.
std::string RandomText(std::mt19937& rng, std::size_t characters, bool half_width) {
    const auto& p = Pools();
    std::string text;
    std::uniform_int_distribution<int> kind(0, half_width ? 9 : 8);
    for (std::size_t i = 0; i < characters; ++i) {
        auto pick = [&](const std::vector<std::string>& pool) {
            return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
        };
        switch (kind(rng)) {
            case 0:
                text += pick(p.symbols);
                break;
            case 1:
                text += pick(p.kana);
                break;
            case 2:
                text += pick(p.level1);
                break;
            case 3:
                text += pick(p.level2);
                break;
            case 4:
                text += pick(p.nec_row13);
                break;
            case 5:
                text += pick(p.rows_2_to_8);
                break;
            case 6:
                text += std::uniform_int_distribution<int>(0, 3)(rng) == 0 ? "\r\n" : "\n";
                break;
            case 9:
                // A run of half-width katakana, often with voiced marks, so that every merge
                // (and every mark that cannot merge) turns up.
                for (int n = std::uniform_int_distribution<int>(1, 6)(rng); n > 0; --n) {
                    text += static_cast<char>(std::uniform_int_distribution<int>(0xA1, 0xDD)(rng));
                    if (std::uniform_int_distribution<int>(0, 2)(rng) == 0) {
                        text +=
                            std::uniform_int_distribution<int>(0, 1)(rng) == 0 ? '\xDE' : '\xDF';
                    }
                }
                break;
            default:
                text += static_cast<char>(std::uniform_int_distribution<int>(0x20, 0x7E)(rng));
                break;
        }
    }
    return text;
}

TEST(JisDifferential, PoolsCoverEveryClass) {
    // JIS X 0208 has 6879 characters: 2965 level 1 kanji (leads 88-98, with row 48 of level 2,
    // 94 more, sharing lead 98), 3390 level 2 kanji; rows 3-6 (digits, Latin, kana, Greek)
    // have 62 + 83 + 86 + 48. NEC row 13 adds 83.
    const auto& p = Pools();
    EXPECT_EQ(p.kana.size(), 62u + 83u + 86u + 48u);
    EXPECT_EQ(p.level1.size(), 2965u + 94u);
    EXPECT_EQ(p.level2.size(), 3390u - 94u);
    EXPECT_EQ(p.nec_row13.size(), 83u);
}

TEST(JisDifferential, SJisToJisMatchesNkf) {
    if (!HaveNkf()) {
        GTEST_SKIP() << "nkf is not installed (" << kNkf << "); scripts/install-deps installs it";
    }
    std::mt19937 rng(9321);
    const TCharCodeConv conv;
    for (int round = 0; round < 40; ++round) {
        const std::string text = RandomText(rng, 300, /*half_width=*/true);
        const auto expected = RunNkf("-S -j -m0", text);
        ASSERT_TRUE(expected.has_value());
        ASSERT_EQ(conv.SJisToJis(text), *expected) << "round " << round;
    }
}

TEST(JisDifferential, JisToSJisMatchesNkf) {
    if (!HaveNkf()) {
        GTEST_SKIP() << "nkf is not installed (" << kNkf << "); scripts/install-deps installs it";
    }
    std::mt19937 rng(1207);
    for (int round = 0; round < 40; ++round) {
        // nkf writes the JIS text itself, half-width katakana kept as ESC ( I runs (-x). Voiced
        // marks are left out there: nkf merges them on reading, JisToSJis does not.
        std::string text = RandomText(rng, 300, /*half_width=*/true);
        for (char& c : text) {
            if (c == '\xDE' || c == '\xDF') {
                c = 'x';
            }
        }
        const auto jis = RunNkf("-S -j -x -m0", text);
        ASSERT_TRUE(jis.has_value());
        const auto expected = RunNkf("-J -s -m0", *jis);
        ASSERT_TRUE(expected.has_value());
        ASSERT_EQ(TCharCodeConv::JisToSJis(*jis), *expected) << "round " << round;
    }
}

TEST(JisDifferential, JisToSJisMatchesIconvOnEveryJisX0208Character) {
    IconvConverter iconv_jis("CP932", "ISO-2022-JP");
    int compared = 0;
    for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
        for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
            const std::string jis =
                std::string("\x1B$B") + static_cast<char>(j1) + static_cast<char>(j2) + "\x1B(B";
            const auto expected = iconv_jis.ConvertStrict(jis);
            if (!expected) {
                continue;  // unassigned in JIS X 0208
            }
            ASSERT_EQ(TCharCodeConv::JisToSJis(jis), *expected) << j1 << " " << j2;
            ++compared;
        }
    }
    EXPECT_GE(compared, 6879);
}

TEST(JisDifferential, JisRoundTripGivesTheShiftJisTextBack) {
    const auto& p = Pools();
    std::vector<std::string> pool;
    for (const auto* group : {&p.symbols, &p.rows_2_to_8, &p.level1, &p.level2, &p.nec_row13}) {
        pool.insert(pool.end(), group->begin(), group->end());
    }
    for (int c = 0; c < 0x80; ++c) {
        if (c != 0x0E && c != 0x0F && c != 0x1B) {
            pool.emplace_back(1, static_cast<char>(c));
        }
    }
    std::mt19937 rng(424242);
    std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
    std::uniform_int_distribution<int> length(0, 40);
    const TCharCodeConv conv;
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        for (int i = length(rng); i > 0; --i) {
            text += pool[pick(rng)];
        }
        ASSERT_EQ(TCharCodeConv::JisToSJis(conv.SJisToJis(text)), text) << "round " << round;
    }
}

}  // namespace
}  // namespace brindle
