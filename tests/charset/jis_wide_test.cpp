// JIS to Shift_JIS where the converter takes 16 or 32 bytes at a time: kanji runs and single-byte
// runs of every length around the blocks, ended in every way, against the pair-by-pair
// conversion of j2sj1, through the three entry points.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charset/char_code_conv.hpp"

namespace brindle {
namespace {

// Lengths in bytes around the 16- and 32-byte blocks, and past a chunk of lines (256 bytes).
const std::vector<int> kLengths = {0,   1,   2,   14,  15,  16,  17,  18,  30,   31,  32, 33,
                                   34,  46,  47,  48,  50,  63,  64,  65,  66,   96,  98, 254,
                                   255, 256, 257, 258, 300, 511, 512, 514, 1000, 4097};

// Pairs 0x21-0x7F taken in order from the given index: n bytes, and their Shift_JIS.
void Pairs(int from, int bytes, std::string& jis, std::string& sjis) {
    for (int i = from; i < from + bytes / 2; ++i) {
        const std::string pair{static_cast<char>(0x21 + (i / 95) % 95),
                               static_cast<char>(0x21 + i % 95)};
        jis += pair;
        sjis += TCharCodeConv::j2sj1(pair);
    }
}

// The three conversions of text, which must give expected (the lines' conversion ends the last
// line with CR LF).
void ExpectAllConvert(const std::string& text, const std::string& expected) {
    EXPECT_EQ(TCharCodeConv::JisToSJis(text), expected);
    std::string appended = "head";
    TCharCodeConv::AppendJisToSJis(text, appended);
    EXPECT_EQ(appended, "head" + expected);
    std::string lines = "head";
    TCharCodeConv::AppendJisLinesToSJis(text, lines);
    EXPECT_EQ(lines, "head" + expected + (text.empty() ? "" : "\r\n"));
}

TEST(JisWideRuns, EveryPairConvertsAtEveryPlaceOfABlock) {
    for (int shift = 0; shift < 16; ++shift) {
        std::string jis = "\x1B$B";
        std::string sjis;
        Pairs(95 * 95 - shift, 2 * 95 * 95, jis, sjis);  // wraps round to all of them
        ExpectAllConvert(jis, sjis);
    }
}

TEST(JisWideRuns, KanjiRunsEndWhereTheirEndingSays) {
    struct Ending {
        std::string jis;
        std::string sjis;
    };
    const std::vector<Ending> endings = {
        {"", ""},
        {"\x1B(Bxyz", "xyz"},
        {"\x24", "\x24"},                        // a lone last byte
        {"\x20\x21\x24\x22", "[2021]\x82\xA0"},  // a pair outside the range, then on
        {"\x24\x80", "[2480]"},                  // an 8-bit byte
        {"\x24\x22\x0E\x31\x0F\x24\x22", "\x82\xA0\x83\x41\x82\xA0"},  // SO and SI
        {"\x1B$(D\x1B(B", "[1B24]\x84\xC2"},  // an escape it does not know: pairs
    };
    for (const int length : kLengths) {
        for (const auto& ending : endings) {
            SCOPED_TRACE(::testing::Message() << length << " bytes, then " << ending.sjis);
            std::string jis = "\x1B$B";
            std::string sjis;
            Pairs(length * 7, length, jis, sjis);
            ExpectAllConvert(jis + ending.jis, sjis + ending.sjis);
        }
    }
}

TEST(JisWideRuns, SingleByteRunsStopAtEveryByteThatChangesTheMode) {
    struct Stop {
        std::string jis;
        std::string sjis;
    };
    const std::vector<Stop> stops = {
        {"", ""},
        {"\x1B$B\x24\x22", "\x82\xA0"},
        {"\x0E\x31\x0F!", "\x83\x41!"},
        {"\x1B$", "\x1B$"},  // cut short: copied
        {"\x1B\x0E\x31", "\x1B\x83\x41"},
    };
    for (const int length : kLengths) {
        for (const auto& stop : stops) {
            SCOPED_TRACE(::testing::Message() << length << " bytes, then " << stop.sjis);
            std::string ascii;
            for (int i = 0; i < length; ++i) {
                ascii += static_cast<char>(i % 7 == 3 ? 0xA4 : 0x20 + i % 95);  // 8-bit too
            }
            ExpectAllConvert("\x1B(B" + ascii + stop.jis, ascii + stop.sjis);
        }
    }
}

TEST(JisWideRuns, LinesEndRunsOfEveryLength) {
    for (const int length : kLengths) {
        for (const bool odd : {false, true}) {
            SCOPED_TRACE(::testing::Message() << length << " bytes, odd " << odd);
            std::string jis = "\x1B$B";
            std::string sjis;
            Pairs(length, length, jis, sjis);
            if (odd) {
                jis += '\x30';  // no partner before the CR
                sjis += '\x30';
            }
            // Each line starts in ASCII; a CR and the byte after it end a line.
            const std::string text = jis + "\r\n\x24\x22" + jis.substr(3) + "\rXend";
            std::string lines;
            TCharCodeConv::AppendJisLinesToSJis(text, lines);
            EXPECT_EQ(lines, sjis + "\r\n\x24\x22" + jis.substr(3) + "\r\nend\r\n");
        }
    }
}

}  // namespace
}  // namespace brindle
