#include "settings/condition_entry.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle {
namespace {

using Words = std::vector<std::string>;

const std::string kFullSpace = "\x81\x40";

TEST(SplitAllWords, SpacesOfBothWidthsSeparateWords) {
    EXPECT_EQ(SplitAllWords("foo" + kFullSpace + "bar baz"), (Words{"foo", "bar", "baz"}));
    EXPECT_EQ(SplitAllWords(kFullSpace + " foo  \t bar" + kFullSpace + kFullSpace),
              (Words{"foo", "bar"}));
    EXPECT_TRUE(SplitAllWords("").empty());
    EXPECT_TRUE(SplitAllWords(kFullSpace + "  " + kFullSpace).empty());
}

TEST(SplitAllWords, QuotedPhraseStaysOneWord) {
    EXPECT_EQ(SplitAllWords("\"foo bar\""), (Words{"foo bar"}));
    EXPECT_EQ(SplitAllWords("x \"foo" + kFullSpace + "bar\" y"), (Words{"x", "foo bar", "y"}));
    // Blanks inside the quotes at the ends of the word are trimmed like any other word's.
    EXPECT_EQ(SplitAllWords("\" foo \""), (Words{"foo"}));
}

TEST(SplitAllWords, FullWidthSpaceOnlyAsACharacter) {
    // 0x88 0x81 0x40 0x41: the 0x81 0x40 straddles two characters and is no full-width space.
    const std::string text = "\x88\x81\x40\x41";
    EXPECT_EQ(SplitAllWords(text), (Words{text}));
    // Double-byte characters whose trail byte is a letter or backslash are kept whole.
    EXPECT_EQ(SplitAllWords("\x83\x5C" + kFullSpace + "\x83\x41"), (Words{"\x83\x5C", "\x83\x41"}));
}

TEST(MakeFindTypes, ExactPhraseKeepsTheTextAsTyped) {
    const auto conditions = MakeFindTypes("  foo bar ", false, kFindPosBody, true, false);
    ASSERT_EQ(conditions.size(), 1u);
    EXPECT_EQ(conditions[0], (TFindType{kFindPosBody, "  foo bar ", true, false}));
    EXPECT_TRUE(MakeFindTypes("", false, kFindPosAll, false, false).empty());
}

TEST(MakeFindTypes, AllWordsGivesOneConditionPerWordWithTheSameFlags) {
    const auto conditions =
        MakeFindTypes("foo" + kFullSpace + "bar baz", true, kFindPosHeader, false, true);
    const std::vector<TFindType> expected = {
        {kFindPosHeader, "foo", false, true},
        {kFindPosHeader, "bar", false, true},
        {kFindPosHeader, "baz", false, true},
    };
    EXPECT_EQ(conditions, expected);
    EXPECT_TRUE(MakeFindTypes("   ", true, kFindPosAll, false, false).empty());
}

}  // namespace
}  // namespace brindle
