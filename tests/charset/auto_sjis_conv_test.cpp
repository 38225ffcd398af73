#include "charset/auto_sjis_conv.hpp"

#include <gtest/gtest.h>

#include <string>

#include "charset/char_code_conv.hpp"

namespace brindle {
namespace {

TEST(AutoSjisConv, KanjiAndKatakanaModes) {
    const TAutoSjisConv conv;
    EXPECT_EQ(conv.ToSjis("\x1B$B\x24\x22\x1B(B"), "\x82\xA0");
    EXPECT_EQ(conv.ToSjis("\x1B$@\x24\x22\x1B(Hx"), "\x82\xA0x");
    // Half-width katakana stay half-width, unlike JisToSJis.
    EXPECT_EQ(conv.ToSjis("\x1B(I\x31"), "\xB1");
    EXPECT_EQ(conv.ToSjis("\x0E\x31\x0F\x31"), "\xB1\x31");
    EXPECT_EQ(conv.ToSjis("\x0E\x31\r\nx\x0F\r\ny"), "\xB1\r\nx\r\ny");
    EXPECT_EQ(conv.ToSjis("Plain ASCII, 1 + 1."), "Plain ASCII, 1 + 1.");
    EXPECT_EQ(conv.ToSjis(""), "");
    EXPECT_EQ(TCharCodeConv::ToSJis("\x1B$B\x24\x22\x1B(B"), "\x82\xA0");
}

TEST(AutoSjisConv, EachCallStartsInSingleByteMode) {
    const TAutoSjisConv conv;
    EXPECT_EQ(conv.ToSjis("\x1B$B\x24\x22"), "\x82\xA0");
    EXPECT_EQ(conv.ToSjis("\x24\x22"), "\x24\x22");
}

TEST(AutoSjisConv, EightBitInputLosesBitSeven) {
    const TAutoSjisConv conv;
    EXPECT_EQ(conv.ToSjis("\xE3"), "\x63");
    EXPECT_EQ(conv.ToSjis(std::string("ab\0cd", 5)), "ab");
    // ESC with 8-bit bytes after it is still recognised.
    EXPECT_EQ(conv.ToSjis("\x1B\xA4\xC2\x24\x22"), "\x82\xA0");
    // The partner byte of a kanji pair keeps its value.
    EXPECT_EQ(conv.ToSjis("\x1B$B\x24\xA2").size(), 2u);
}

TEST(AutoSjisConv, CutInputStaysInBounds) {
    const TAutoSjisConv conv;
    EXPECT_EQ(conv.ToSjis("\x1B$B\x24"), "\x24");
    EXPECT_EQ(conv.ToSjis("\x1B$"), "\x1B$");
    EXPECT_EQ(conv.ToSjis("\x1B"), "\x1B");
}

}  // namespace
}  // namespace brindle
