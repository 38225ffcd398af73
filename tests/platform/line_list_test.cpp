#include "platform/line_list.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace brindle {
namespace {

TEST(SplitLines, EndsLinesAtCrLfAndCrLfOnce) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
}

TEST(SplitLines, FinalLineEndAddsNoEmptyLine) {
    EXPECT_EQ(SplitLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(SplitLines("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(SplitLines("\n"), (Lines{""}));
}

TEST(SplitLines, LfCrIsTwoLineEnds) {
    EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"}));
}

TEST(SplitLines, EmptyTextGivesNoLines) {
    EXPECT_TRUE(SplitLines("").empty());
}

TEST(SplitLines, KeepsZeroBytesAndHighBytes) {
    const std::string text("a\0b\r\n\x95\x5c", 7);
    const Lines lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string("a\0b", 3));
    EXPECT_EQ(lines[1], "\x95\x5c");
}

TEST(JoinLines, PutsCrLfAfterEveryLine) {
    EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
    EXPECT_EQ(JoinLines({}), "");
}

TEST(JoinLines, RoundTripsThroughSplitForCrLfText) {
    const std::string text = "Subject: x\r\n\r\nbody\r\n";
    EXPECT_EQ(JoinLines(SplitLines(text)), text);
}

// The one-pass normal form and its check agree with splitting and joining on every text made
// of a few bytes around the line ends, at every length and alignment the block-wise scan meets
// (blocks of 64 bytes, a CR LF pair split between two of them).
TEST(NormalizeLineEnds, AgreesWithSplittingAndJoining) {
    const char alphabet[] = {'a', '\r', '\n', '\0', '\x8d'};
    std::uint64_t state = 12345;
    int normal = 0;
    for (int round = 0; round < 20000; ++round) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const std::size_t length = (state >> 33) % 200;
        std::string text;
        for (std::size_t i = 0; i < length; ++i) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            // Mostly plain bytes, so that long runs without a line end occur too.
            const unsigned pick = (state >> 40) % 16;
            text += alphabet[pick < 12 ? 0 : pick - 11];
        }
        // Every fourth text is in normal form already, so both answers of the check are seen.
        if (round % 4 == 0) {
            text = JoinLines(SplitLines(text));
        }
        // Every fourth other is in normal form but for one byte anywhere, often in a later block.
        if (round % 4 == 1 && !text.empty()) {
            text = JoinLines(SplitLines(text));
            text[(state >> 20) % text.size()] = alphabet[(state >> 50) % 3];
        }
        const std::string expected = JoinLines(SplitLines(text));
        ASSERT_EQ(NormalizeLineEnds(text), expected) << "text of length " << text.size();
        ASSERT_EQ(IsCrLfText(text), text == expected) << "text of length " << text.size();
        normal += text == expected ? 1 : 0;
    }
    EXPECT_GT(normal, 5000);
    EXPECT_LT(normal, 15000);
}

}  // namespace
}  // namespace brindle
