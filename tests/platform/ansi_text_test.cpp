#include "platform/ansi_text.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>

#include "platform/sjis.hpp"

namespace brindle {
namespace {

TEST(AnsiUpperCase, ChangesAsciiLettersOnly) {
    EXPECT_EQ(AnsiUpperCase("subject: abc xyz 123"), "SUBJECT: ABC XYZ 123");
    // Full-width ａ (0x82 0x81) and half-width kana stay as they are.
    EXPECT_EQ(AnsiUpperCase("\x82\x81\xb1z"), "\x82\x81\xb1Z");
}

TEST(AnsiUpperCase, LeavesTrailBytesThatLookLikeLetters) {
    // ソ is 0x83 0x5C and ア is 0x83 0x41; 0x83 0x61 ("ャ" area) has an 'a' trail byte.
    EXPECT_EQ(AnsiUpperCase("\x83\x61"
                            "a"),
              "\x83\x61"
              "A");
}

// Any bytes at all, lone and doubled lead bytes included, against a walk character by character
// from the start: a letter changes exactly when it starts a character.
TEST(AnsiUpperCase, AgreesWithCharacterWalkOnAnyBytes) {
    const char alphabet[] = {'a',    'z',    'm',    'A',    '@',    '\x81',
                             '\x9F', '\xE0', '\xFC', '\x80', '\xA0', '\xFD'};
    std::uint32_t state = 11;
    for (int round = 0; round < 3000; ++round) {
        state = state * 1664525u + 1013904223u;
        std::string text((state >> 16) % 100, 'a');
        for (char& c : text) {
            state = state * 1664525u + 1013904223u;
            c = alphabet[(state >> 24) % std::size(alphabet)];
        }
        std::string expected = text;
        for (std::size_t i = 0; i < expected.size(); i += sjis::CharLength(expected, i)) {
            if (expected[i] >= 'a' && expected[i] <= 'z') {
                expected[i] = static_cast<char>(expected[i] - 'a' + 'A');
            }
        }
        ASSERT_EQ(AnsiUpperCase(text), expected) << "round " << round;
    }
}

TEST(AnsiFind, SkipsTrailBytePositions) {
    // 表 = 0x95 0x5C: the backslash inside it must not be found.
    EXPECT_EQ(AnsiFind("\x95\x5c", "\\"), std::string_view::npos);
    EXPECT_EQ(AnsiFind("\x95\x5c\\", "\\"), 2u);
    // ア = 0x83 0x41: the trail byte 'A' is not an 'A'.
    EXPECT_EQ(AnsiFind("\x83\x41", "A"), std::string_view::npos);
    EXPECT_EQ(AnsiFind("\x83\x41"
                       "A",
                       "A"),
              2u);
}

TEST(AnsiFind, FindsFromOffsetAndReportsOnePositions) {
    EXPECT_EQ(AnsiFind("abcabc", "bc", 2), 4u);
    EXPECT_EQ(AnsiPos("bc", "abcabc"), 2u);
    EXPECT_EQ(AnsiPos("zz", "abc"), 0u);
    EXPECT_EQ(AnsiPos("", "abc"), 0u);
    EXPECT_EQ(AnsiPos("abcd", "abc"), 0u);
}

TEST(TrimControls, RemovesBlanksAndControlBytesAtBothEndsOnly) {
    EXPECT_EQ(TrimControls(" \t\r\n a b \x01\x7f\x1f "), "a b \x01\x7f");
    EXPECT_EQ(TrimControls(" \t "), "");
    // A double-byte character whose trail byte is high stays whole at the end.
    EXPECT_EQ(TrimControls("\x82\xa0 "), "\x82\xa0");
}

}  // namespace
}  // namespace brindle
