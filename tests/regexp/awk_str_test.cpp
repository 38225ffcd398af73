#include "regexp/awk_str.hpp"

#include "regexp/re_types.hpp"
#include "support/work_steps.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brindle {
namespace {

// Shift_JIS characters whose second byte looks like ASCII.
const std::string kKataA =
    "\x83"
    "A";  // ア: trail byte 'A'
const std::string kHyo =
    "\x95"
    "\\";  // 表: trail byte backslash
const std::string kChouon =
    "\x81"
    "[";                                        // ー: trail byte '['
const std::string kHiraA = "\x82\xA0";          // あ
const std::string kTokyo = "\x93\x8C\x8B\x9E";  // 東京

struct MatchCase {
    std::string expression;
    std::string text;
    std::size_t start;  // 1-based, 0 for none
    std::size_t length;
};

void ExpectMatches(TAWKStr& awk, const std::vector<MatchCase>& cases) {
    for (const MatchCase& c : cases) {
        SCOPED_TRACE("expression '" + c.expression + "' text '" + c.text + "'");
        awk.SetRegExp(c.expression);
        std::size_t start = 99;
        std::size_t length = 99;
        EXPECT_EQ(awk.Match(c.text, start, length), c.start);
        EXPECT_EQ(start, c.start);
        EXPECT_EQ(length, c.length);
    }
}

TEST(AwkMatch, LeftmostLongest) {
    TAWKStr awk;
    ExpectMatches(awk, {
                           {"abc", "xxabcabc", 3, 3},
                           {"a*", "bbb", 1, 0},
                           {"a*", "", 1, 0},
                           {"a+", "", 0, 0},
                           {"(a|ab)(c|bcd)", "abcd", 1, 4},
                           {"x*y|x+", "xxxz", 1, 3},
                           {"b+", "abbbcbb", 2, 3},
                           {"[0-9]+", "tel 03-1234", 5, 2},
                           {"[^a-z]", "abc9", 4, 1},
                           {"a.c", "abc", 1, 3},
                           {"a.c", "a\nc a\rc axc", 9, 3},
                           {"colou?r", "color colour", 1, 5},
                           {"q", "abc", 0, 0},
                           {"", "abc", 1, 0},
                       });
}

TEST(AwkMatch, DoubleByteCharactersAreWhole) {
    TAWKStr awk;
    ExpectMatches(awk, {
                           // A trail byte is never the character it looks like.
                           {"A", kKataA, 0, 0},
                           {"A", kKataA + "A", 3, 1},
                           {"\\\\", kHyo, 0, 0},
                           {"\\\\", kHyo + "\\", 3, 1},
                           {"\\[", kChouon + "x[", 4, 1},
                           {"[A-Z]+", kKataA + "ABC", 3, 3},
                           // One dot, one character.
                           {"x.y", "x" + kHiraA + "y", 1, 4},
                           {"^.$", kHiraA, 1, 2},
                           {kTokyo, "abc" + kHiraA + kTokyo, 6, 4},
                           {"[" + kHiraA + "-\x82\xF1]+", "ab" + kHiraA + kHiraA + kKataA, 3, 4},
                           // The literal search must skip a hit that starts on a trail byte:
                           // 0x8C 0x8B sits inside "\x93\x8C\x8B\x9E" shifted by one byte.
                           {"\x8C\x8B", "\x93\x8C\x8B\x9E", 0, 0},
                           {"\x8C\x8B",
                            "\x93\x8C\x8B\x9E"
                            "\x8C\x8B",
                            5, 2},
                       });
}

TEST(AwkMatch, AnchorsInCrLfMode) {
    TAWKStr awk;
    ExpectMatches(awk, {
                           {"^b", "a\nb", 3, 1},
                           {"^b", "ab", 0, 0},
                           {"^b", "b", 1, 1},
                           {"^b|c", "xc\nb", 2, 1},
                           {"b$", "b\r\n", 1, 1},
                           {"b$", "b\nx", 0, 0},
                           {"b$", "ab", 2, 1},
                           {"$", "ab\rc", 3, 0},
                           {"$", "ab", 3, 0},
                           {"^$", "a\n", 3, 0},
                           {"^a.*z$", "xx\naBCz\r\n", 4, 4},
                           // $ holds even when the line end also continues a longer attempt.
                           {"a$|a\rb", "a\rc", 1, 1},
                       });
}

TEST(AwkMatch, AnchorsInLfMode) {
    TAWKStr awk;
    awk.SetLineSeparator(mcls_LF);
    ExpectMatches(awk, {
                           {"b$", "b\nx", 1, 1},
                           {"b$", "b\r\n", 0, 0},
                           {"$", "ab\rc\n", 5, 0},
                       });
}

TEST(AwkMatch, TextIsLengthCounted) {
    TAWKStr awk;
    const std::string with_nul("a\0b", 3);
    ExpectMatches(awk, {
                           {"b", with_nul, 3, 1},
                           // A lead byte at the very end is a character of its own.
                           {".", "\x82", 1, 1},
                           {"a.", "a\x82", 1, 2},
                           {"\\x82", "a\x82", 2, 1},
                           {kHiraA, "\x82", 0, 0},
                           {"a[^b]*", with_nul + "c", 1, 1},
                       });
    // Code 0 cannot be written in an expression, so no expression ever reads the end.
    EXPECT_THROW(awk.SetRegExp("\\0"), ERegExpParser);
}

// Every a starts a run to the end of the line; remembering fruitless runs keeps this linear.
// Unbounded, the half-megabyte line would take on the order of 10^11 steps.
TEST(AwkMatch, LongLineStaysLinear) {
    const auto work = [](std::size_t size) {
        return test::StepsOf([size] {
            TAWKStr awk;
            const std::string line(size, 'a');
            const std::pair<const char*, const char*> cases[] = {
                {"a.*b", "b"}, {"(a|aa)*b", "b"}, {"^a*b|a.*c$", "c"}, {"a[^x]*x", "x"}};
            for (const auto& [expression, ending] : cases) {
                SCOPED_TRACE(expression);
                awk.SetRegExp(expression);
                EXPECT_EQ(awk.Match(line), 0U);
                EXPECT_EQ(awk.Match(line + ending), 1U);
            }
            std::string text = line;
            awk.SetRegExp("a.*b");
            EXPECT_EQ(awk.GSub("-", text), 0U);
        });
    };
    const std::uint64_t small = work(128 * 1024);
    const std::uint64_t large = work(512 * 1024);
    EXPECT_TRUE(test::GrowsLinearly(small, large)) << small << " " << large;
}

// Runs from neighbouring starts pass each position in states that take turns: (aa)*x is in
// one state after an even number of a's and in another after an odd one. A search that
// remembered only the latest state per position ran every start to the end of the line.
TEST(AwkMatch, LongLineStaysLinearWhenStatesTakeTurns) {
    const auto work = [](std::size_t size) {
        return test::StepsOf([size] {
            TAWKStr awk;
            const std::string line(size, 'a');
            awk.SetRegExp("(aa)*x");
            EXPECT_EQ(awk.Match(line), 0U);
            awk.SetRegExp("(a..)*b");
            EXPECT_EQ(awk.Match(line), 0U);
            std::size_t start = 0;
            std::size_t length = 0;
            EXPECT_EQ(awk.Match(line + "bbb", start, length), 1U);
            EXPECT_EQ(length, line.size() + 2);  // triples up to the first b, then b
            // The same two states, numbered after 64 others: the initial state leads first to one
            // state per alternative starting with a character below a.
            std::string expression = "(aa)*x";
            for (char c = '!'; c < 'a'; ++c) {
                expression += '|';
                if (METACHARS.find(c) != std::string_view::npos) {
                    expression += '\\';
                }
                expression += c;
                expression += 'z';
            }
            awk.SetRegExp(expression);
            ASSERT_GT(awk.GetCurrentDFA().StateCount(), 64);
            EXPECT_EQ(awk.Match(line), 0U);
            EXPECT_EQ(awk.Match(line + "x", start, length), 1U);
        });
    };
    const std::uint64_t small = work(8 * 1024);
    const std::uint64_t large = work(32 * 1024);
    EXPECT_TRUE(test::GrowsLinearly(small, large)) << small << " " << large;
}

TEST(AwkRegExp, CacheKeepsEntryZeroAndEvictsOldest) {
    TAWKStr awk;
    for (int i = 1; i <= 29; ++i) {
        awk.SetRegExp("e" + std::to_string(i));
    }
    std::vector<std::string> cached = awk.CachedExpressions();
    ASSERT_EQ(cached.size(), TRegularExpression::kCacheLimit);
    EXPECT_EQ(cached[0], "");
    EXPECT_EQ(cached[1], "e29");
    EXPECT_EQ(cached[29], "e1");
    // A hit does not move its entry.
    awk.SetRegExp("e1");
    EXPECT_EQ(awk.CachedExpressions()[29], "e1");
    EXPECT_EQ(awk.Match("xe1"), 2U);
    awk.SetRegExp("e30");
    cached = awk.CachedExpressions();
    EXPECT_EQ(cached.size(), TRegularExpression::kCacheLimit);
    EXPECT_EQ(cached[1], "e30");
    EXPECT_EQ(cached[29], "e2");
    awk.SetRegExp("e1");
    EXPECT_EQ(awk.CachedExpressions()[1], "e1");
    EXPECT_EQ(awk.Match("e1"), 1U);
}

TEST(AwkRegExp, FailedSetRegExpLeavesEmptyExpression) {
    TAWKStr awk;
    awk.SetRegExp("^abc$");
    EXPECT_EQ(awk.RegExp(), "^abc$");
    const std::size_t before = awk.CachedExpressions().size();
    EXPECT_THROW(awk.SetRegExp("(ab"), ERegExpParser);
    EXPECT_EQ(awk.RegExp(), "");
    EXPECT_EQ(awk.GetProcessedRegExp(), "");
    EXPECT_EQ(awk.CachedExpressions().size(), before);
    std::size_t start;
    std::size_t length;
    EXPECT_EQ(awk.Match("xyz", start, length), 1U);
    EXPECT_EQ(length, 0U);
    // The anchors of the failed expression's predecessor are gone too.
    EXPECT_FALSE(awk.GetHasLHead());
}

TEST(AwkRegExp, FuzzySwitchRecompilesTheExpressionInForce) {
    TAWKStr awk;
    awk.SetRegExp("\xB6\xDE");             // ｶﾞ
    EXPECT_EQ(awk.Match("\x82\xAA"), 0U);  // が
    awk.SetUseFuzzyCharDic(true);
    EXPECT_EQ(awk.RegExp(), "\xB6\xDE");
    EXPECT_EQ(awk.Match("x\x82\xAA"), 2U);
    awk.SetUseFuzzyCharDic(false);
    EXPECT_EQ(awk.Match("x\x82\xAA"), 0U);
}

TEST(AwkSub, SubAndGSub) {
    TAWKStr awk;
    awk.SetRegExp("b");
    std::string text = "abcb";
    EXPECT_TRUE(awk.Sub("[&]", text));
    EXPECT_EQ(text, "a[b]cb");
    awk.SetRegExp("q");
    EXPECT_FALSE(awk.Sub("x", text));
    EXPECT_EQ(text, "a[b]cb");

    awk.SetRegExp("a*");
    text = "abc";
    EXPECT_EQ(awk.GSub("-", text), 3U);
    EXPECT_EQ(text, "--b-c");
    text.clear();
    EXPECT_EQ(awk.GSub("-", text), 1U);
    EXPECT_EQ(text, "-");

    awk.SetRegExp(kHiraA);
    text = kHiraA + "x" + kHiraA;
    EXPECT_EQ(awk.GSub("<&>", text), 2U);
    EXPECT_EQ(text, "<" + kHiraA + ">x<" + kHiraA + ">");

    awk.SetRegExp("^x");
    text = "xax\nxb";
    EXPECT_EQ(awk.GSub("-", text), 2U);
    EXPECT_EQ(text, "-ax\n-b");
}

TEST(AwkSub, EmptyMatchStepsOverWholeCharacters) {
    TAWKStr awk;
    awk.SetRegExp("z*");
    std::string text = kHiraA + "a";
    EXPECT_EQ(awk.GSub("-", text), 2U);
    EXPECT_EQ(text, "-" + kHiraA + "-a");
    // A lone CR is one character: the double-byte character after it stays whole.
    text = "\r" + kHiraA;
    EXPECT_EQ(awk.GSub("-", text), 2U);
    EXPECT_EQ(text, "-\r-" + kHiraA);
    // CR LF is stepped over as one line end.
    text = "\r\nx";
    EXPECT_EQ(awk.GSub("-", text), 2U);
    EXPECT_EQ(text, "-\r\n-x");
}

TEST(AwkSplit, Fields) {
    TAWKStr awk;
    std::vector<std::string> list{"stale"};
    awk.SetRegExp(",");
    EXPECT_EQ(awk.Split("a,b,,c", list), 4U);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(awk.Split("a,", list), 2U);
    EXPECT_EQ(list, (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(awk.Split("", list), 0U);
    awk.SetRegExp(" +");
    EXPECT_EQ(awk.Split("one  two " + kHiraA, list), 3U);
    EXPECT_EQ(list[2], kHiraA);
    // An expression matching empty moves one character at a time into the field.
    awk.SetRegExp("x*");
    EXPECT_EQ(awk.Split("a" + kHiraA, list), 1U);
    EXPECT_EQ(list[0], "a" + kHiraA);
    // A separator byte inside a double-byte character does not split it.
    awk.SetRegExp("\\\\");
    EXPECT_EQ(awk.Split("a" + kHyo + "b\\c", list), 2U);
    EXPECT_EQ(list[0], "a" + kHyo + "b");
}

TEST(AwkEscapes, ProcessEscSeq) {
    EXPECT_EQ(TAWKStr::ProcessEscSeq("a\\tb\\nc\\r\\b"), "a\tb\nc\r\b");
    EXPECT_EQ(TAWKStr::ProcessEscSeq("\\x41\\101\\q\\\\"), "AAq\\");
    EXPECT_EQ(TAWKStr::ProcessEscSeq("\\x"
                                     "82a0"),
              kHiraA);
    // A trail byte 0x5C is not an escape.
    EXPECT_EQ(TAWKStr::ProcessEscSeq(kHyo + "n"), kHyo + "n");
    EXPECT_EQ(TAWKStr::ProcessEscSeq(std::string("\\0", 2)), std::string(1, '\0'));
    for (const std::string bad : {"abc\\", "\\xg", "\\777777", "ab\x82"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(TAWKStr::ProcessEscSeq(bad), ERegExpParser);
    }
    try {
        TAWKStr::ProcessEscSeq("abc\\");
    } catch (const ERegExpParser& e) {
        EXPECT_STREQ(e.what(), "\"\\\"の次には文字が必要です。");
    }
}

// The bytes at the edges of the lead-byte ranges before a backslash, at every place of the
// 64-byte blocks (and of their halves) that the scan takes at once, and in the bytes after them.
TEST(AwkEscapes, BackslashIsATrailByteExactlyAfterALeadByte) {
    const std::vector<std::pair<char, bool>> cases = {
        {'\x80', false}, {'\x81', true}, {'\x9F', true}, {'\xA0', false},
        {'\xDF', false}, {'\xE0', true}, {'\xFC', true}, {'\xFD', false}};
    for (const auto& [before, lead] : cases) {
        for (std::size_t at = 1; at < 130; ++at) {
            SCOPED_TRACE(::testing::Message() << static_cast<int>(before & 0xFF) << " at " << at);
            const std::string text =
                std::string(at - 1, 'a') + before + '\\' + std::string(140 - at, 'a');
            EXPECT_EQ(TAWKStr::FirstEscape(text), lead ? std::string_view::npos : at);
        }
    }
}

TEST(AwkEscapes, SubstituteMatchStrForAndChar) {
    EXPECT_EQ(TAWKStr::Substitute_MatchStr_For_ANDChar("[&]", "x"), "[x]");
    EXPECT_EQ(TAWKStr::Substitute_MatchStr_For_ANDChar("\\&", "x"), "&");
    EXPECT_EQ(TAWKStr::Substitute_MatchStr_For_ANDChar("&&\\t", "ab"), "abab\t");
    EXPECT_EQ(TAWKStr::Substitute_MatchStr_For_ANDChar(kHyo + "&", "x"), kHyo + "x");
    EXPECT_EQ(TAWKStr::Substitute_MatchStr_For_ANDChar("", "x"), "");
}

}  // namespace
}  // namespace brindle
