#include "settings/string_utility.hpp"
#include "support/work_steps.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle {
namespace {

const std::string kFullSpace = "\x81\x40";
const std::string kSo = "\x83\x5C";  // katakana so: its trail byte is the backslash

std::vector<std::string> Tokens(const std::string& text, const std::string& separators = " ") {
    const TStringSeparator separator(text, separators);
    std::vector<std::string> tokens;
    for (std::int32_t i = 0; i < separator.GetCount(); ++i) {
        tokens.push_back(separator.GetString(static_cast<std::uint32_t>(i)));
    }
    return tokens;
}

TEST(TrimBlank, FullWidthAndAsciiBlanksAtTheEnds) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {kFullSpace + kFullSpace + kFullSpace, ""},
        {kFullSpace + "abc" + kFullSpace, "abc"},
        {"a" + kFullSpace + "b", "a" + kFullSpace + "b"},
        {" abc\r\n", "abc"},
        // No space or tab at an end: control bytes alone are not blanks.
        {"\rabc", "\rabc"},
        {"abc\r", "abc\r"},
        // A space at one end also strips control bytes at the other end in the same step.
        {"\r\nabc ", "abc"},
        // Mixed layers of full-width and ASCII blanks are peeled one after the other.
        {kFullSpace + " \t" + kFullSpace + "x" + kFullSpace + "\t " + kFullSpace, "x"},
        // Other double-byte characters are never touched, even when their trail byte is
        // a blank-looking byte or the pair sits at an end.
        {kSo + "a" + kSo, kSo + "a" + kSo},
        {"\x82\xA0 ", "\x82\xA0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TStringUtility::TrimBlank(c.in), c.out) << "input: " << c.in;
    }
}

TEST(TrimBlank, TrailingPairThatIsNotACharacterStays) {
    // 0x81 0x40 at the end, but the 0x81 is the trail byte of 0x88 0x81: no full-width space.
    const std::string text = "a\x88\x81\x40";
    EXPECT_EQ(TStringUtility::TrimBlankRight(text), text);
    // A lone lead byte at the end is half a character; it stays and stops the trimming.
    EXPECT_EQ(TStringUtility::TrimBlankRight(std::string(" a\x81")), " a\x81");
}

TEST(TrimBlank, LongRunsOfFullWidthSpacesTakeLinearTime) {
    // A pasted text (or a command-line argument) of this size must not take seconds: every
    // full-width space peeled from an end may not cost a walk over the whole text.
    const auto work = [](int count) {
        std::string spaces;
        for (int i = 0; i < count; ++i) {
            spaces += kFullSpace;
        }
        return test::StepsOf([&] {
            EXPECT_EQ(TStringUtility::TrimBlank("x" + spaces), "x");
            EXPECT_EQ(TStringUtility::TrimBlank(spaces + "x" + spaces), "x");
            EXPECT_EQ(TStringUtility::TrimBlank(spaces + " x\t" + spaces + " \r\n"), "x");
        });
    };
    const std::uint64_t small = work(25000);
    const std::uint64_t large = work(100000);
    EXPECT_TRUE(test::GrowsLinearly(small, large)) << small << " " << large;
}

TEST(StringSeparator, PlainTokensKeepEmptyOnes) {
    EXPECT_TRUE(Tokens("").empty());
    EXPECT_EQ(Tokens("abc"), (std::vector<std::string>{"abc"}));
    EXPECT_EQ(Tokens("a  b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(Tokens("a "), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(Tokens(" a"), (std::vector<std::string>{"", "a"}));
    EXPECT_EQ(Tokens(" "), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(Tokens("a,b;c", ";,"), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(StringSeparator, QuotedTokens) {
    EXPECT_EQ(Tokens("\"a b\" c"), (std::vector<std::string>{"a b", "c"}));
    EXPECT_EQ(Tokens("\"a\"\"b\""), (std::vector<std::string>{"a\"b"}));
    EXPECT_EQ(Tokens("\"ab\"cd e"), (std::vector<std::string>{"abcd", "e"}));
    EXPECT_EQ(Tokens("\"abc"), (std::vector<std::string>{"abc"}));
    EXPECT_EQ(Tokens("\"\""), (std::vector<std::string>{""}));
    EXPECT_EQ(Tokens("\""), (std::vector<std::string>{""}));
    EXPECT_EQ(Tokens("a\"b c"), (std::vector<std::string>{"a\"b", "c"}));
    // After the closing quote, quotes are ordinary bytes up to the separator.
    EXPECT_EQ(Tokens("\"a\"b\"c d"), (std::vector<std::string>{"ab\"c", "d"}));
    // A quoted token that ends at a separator, followed by an empty token.
    EXPECT_EQ(Tokens("\"a\" "), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(Tokens("\"a b"), (std::vector<std::string>{"a b"}));
}

TEST(StringSeparator, IndexBeyondTheCountIsEmpty) {
    const TStringSeparator separator("x y", " ");
    ASSERT_EQ(separator.GetCount(), 2);
    EXPECT_EQ(separator.GetString(1), "y");
    EXPECT_EQ(separator.GetString(2), "");
    EXPECT_EQ(separator.GetString(0xFFFFFFFFu), "");
}

TEST(StringSeparator, OwnsItsCopies) {
    std::string text = "one two";
    std::string separators = " ";
    const TStringSeparator separator(text, separators);
    text.assign("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
    separators.assign("o");
    EXPECT_EQ(separator.GetString(0), "one");
    EXPECT_EQ(separator.GetString(1), "two");
}

}  // namespace
}  // namespace brindle
