// Random bytes as expressions and texts: every expression either compiles or is refused with
// ERegExpParser, and every match lies inside the text on character boundaries. Run under the
// sanitizers this also shows that nothing reads past a text's end (lone lead bytes at the end,
// zero bytes, line ends in every place).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/sjis.hpp"
#include "regexp/awk_str.hpp"

namespace brindle {
namespace {

// Metacharacters, line ends, zero, ASCII that trail bytes imitate, lead bytes, half-width kana.
const unsigned char kBytes[] = {'^',  '(',  '|',  ')',  '+',  '*',  '?',  '.',  '[',  ']',  '$',
                                '\\', '-',  'a',  'b',  'A',  'x',  '0',  '7',  '\r', '\n', 0x00,
                                0x81, 0x82, 0x9F, 0xE0, 0xFC, 0xA0, 0xB1, 0x5C, 0x40, 0xFF};

std::string RandomBytes(std::mt19937& rng, std::size_t max_length) {
    std::string out;
    const std::size_t length = rng() % (max_length + 1);
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(static_cast<char>(kBytes[rng() % std::size(kBytes)]));
    }
    return out;
}

TEST(MatchRobustness, RandomExpressionsAndTexts) {
    std::mt19937 rng(99);
    TAWKStr awk;
    int compiled = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string expression = RandomBytes(rng, 12);
        try {
            awk.SetRegExp(expression);
        } catch (const ERegExpParser&) {
            continue;
        }
        ++compiled;
        awk.SetLineSeparator(i % 2 == 0 ? mcls_CRLF : mcls_LF);
        for (int t = 0; t < 4; ++t) {
            const std::string text = RandomBytes(rng, 40);
            std::size_t start;
            std::size_t length;
            if (awk.Match(text, start, length) == 0) {
                continue;
            }
            ASSERT_LE(start - 1 + length, text.size()) << expression;
            EXPECT_TRUE(sjis::IsCharBoundary(text, start - 1)) << expression;
            EXPECT_TRUE(sjis::IsCharBoundary(text, start - 1 + length)) << expression;
            // Replacing every match by itself gives the text back, whatever the matches were.
            std::string copy = text;
            awk.GSub("&", copy);
            EXPECT_EQ(copy, text) << expression;
            std::vector<std::string> fields;
            std::size_t field_bytes = 0;
            for (std::size_t n = awk.Split(text, fields); n > 0; --n) {
                field_bytes += fields[n - 1].size();
            }
            EXPECT_LE(field_bytes, text.size()) << expression;
        }
    }
    // Enough of the random expressions must be valid for the test to say something.
    EXPECT_GT(compiled, 400);
}

}  // namespace
}  // namespace brindle
