#include "platform/line_list.hpp"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace brindle
