// Differential test: on generated Shift_JIS texts and expressions of the subset both engines
// share, the engine must find a match exactly where Oniguruma (in its Shift_JIS mode) does, and
// at the same leftmost start. Only the end may differ: this engine takes the longest match at
// that start, so its end is never before Oniguruma's. Texts hold no CR or LF, which this
// engine's . and [^...] exclude and Oniguruma's do not (Oniguruma's . excludes LF only).
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "onig_reference.hpp"
#include "regexp/awk_str.hpp"

namespace brindle {
namespace {

// Characters of the texts and expressions: ASCII, and double-byte characters whose trail
// bytes look like ASCII (A, backslash, [, a), ordinary kana and kanji, half-width katakana.
const std::vector<std::string> kPool = {
    "a",
    "b",
    "c",
    "A",
    "0",
    "1",
    " ",
    ",",
    "\x83"
    "A",
    "\x95"
    "\\",
    "\x81"
    "[",
    "\x83"
    "a",
    "\x82\xA0",
    "\x93\x8C",
    "\x8B\x9E",
    "\xB1",
    // Full-width digits and a katakana whose trail byte is their lead: a search for the lead
    // meets other pairs of it and trail bytes that look like it.
    "\x82\x4F",
    "\x82\x50",
    "\x83\x82",
};

unsigned WideValue(const std::string& c) {
    return c.size() == 1
               ? static_cast<unsigned char>(c[0])
               : static_cast<unsigned char>(c[0]) * 256U + static_cast<unsigned char>(c[1]);
}

int Kind(const std::string& c) {
    const unsigned v = WideValue(c);
    return v < 0x80 ? 0 : (v <= 0xFF ? 1 : 2);
}

class Generator {
  public:
    // With anchors, ^ may open and $ may close a top-level alternative (the only places where
    // this engine reads them as anchors), texts hold line feeds, and every negated class
    // excludes the line feed as this engine's do.
    Generator(unsigned seed, bool anchors) : rng_(seed), anchors_(anchors) {}

    std::string Text() {
        std::string text;
        const int length = Pick(25);
        for (int i = 0; i < length; ++i) {
            // Favour a few characters so that expressions find something to match.
            if (anchors_ && Pick(6) == 0) {
                text += "\n";
                continue;
            }
            text += Pick(3) == 0
                        ? kPool[static_cast<std::size_t>(Pick(static_cast<int>(kPool.size())))]
                        : kPool[static_cast<std::size_t>(Pick(4))];
        }
        // Oniguruma's ^ does not hold at the very end after a final line feed; this engine's
        // does (^ holds after every line feed), so texts do not end with one.
        while (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text;
    }

    std::string Expression(int depth = 0) {
        std::string out;
        const int terms = 1 + Pick(depth == 0 ? 3 : 2);
        for (int t = 0; t < terms; ++t) {
            if (t > 0) {
                out += "|";
            }
            const bool top = anchors_ && depth == 0;
            if (top && Pick(3) == 0) {
                out += "^";
            }
            const int factors = 1 + Pick(3);
            for (int f = 0; f < factors; ++f) {
                out += Factor(depth);
            }
            if (top && Pick(3) == 0) {
                out += "$";
            }
        }
        return out;
    }

  private:
    int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }

    const std::string& Char() {
        return kPool[static_cast<std::size_t>(Pick(static_cast<int>(kPool.size())))];
    }

    std::string Factor(int depth) {
        std::string atom;
        const int kind = Pick(10);
        if (kind < 5) {
            atom = Char();
        } else if (kind == 5) {
            atom = ".";
        } else if (kind <= 7) {
            atom = Pick(3) == 0 ? "[^" : "[";
            const int members = 1 + Pick(3);
            for (int m = 0; m < members; ++m) {
                std::string lo = Char();
                if (Pick(3) == 0) {
                    // Both ends of one kind: a range from ASCII into the double-byte
                    // characters also spans the lead-byte values 0x81-0x9F, which Oniguruma
                    // reads as covering those characters' first bytes.
                    std::string hi = Char();
                    while (Kind(hi) != Kind(lo)) {
                        hi = Char();
                    }
                    if (WideValue(hi) < WideValue(lo)) {
                        std::swap(lo, hi);
                    }
                    atom += lo + "-" + hi;
                } else {
                    atom += lo;
                }
            }
            if (anchors_ && atom[1] == '^') {
                atom += "\\n";
            }
            atom += "]";
        } else if (depth < 2) {
            atom = "(" + Expression(depth + 1) + ")";
        } else {
            atom = Char();
        }
        switch (Pick(6)) {
            case 0:
                return atom + "*";
            case 1:
                return atom + "+";
            case 2:
                return atom + "?";
            default:
                return atom;
        }
    }

    std::mt19937 rng_;
    bool anchors_;
};

void CompareWithOniguruma(unsigned seed, bool anchors) {
    Generator gen(seed, anchors);
    TAWKStr awk;
    awk.SetLineSeparator(mcls_LF);
    int compared = 0;
    int matched = 0;
    int gave_up = 0;  // expressions whose backtracking exceeds Oniguruma's limits
    for (int i = 0; i < 3000; ++i) {
        const std::string expression = gen.Expression();
        SCOPED_TRACE("expression: " + expression);
        std::unique_ptr<test::OnigReference> onig;
        ASSERT_NO_THROW(onig = std::make_unique<test::OnigReference>(expression));
        ASSERT_NO_THROW(awk.SetRegExp(expression));
        for (int t = 0; t < 4; ++t) {
            const std::string text = gen.Text();
            SCOPED_TRACE("text: " + text);
            long onig_end = 0;
            const long found = onig->Search(text, &onig_end);
            if (found == test::OnigReference::kGaveUp) {
                ++gave_up;
                continue;
            }
            std::size_t start;
            std::size_t length;
            awk.Match(text, start, length);
            ++compared;
            if (found < 0) {
                EXPECT_EQ(start, 0U);
                continue;
            }
            ++matched;
            ASSERT_EQ(start, static_cast<std::size_t>(found) + 1);
            EXPECT_GE(start - 1 + length, static_cast<std::size_t>(onig_end));
        }
    }
    // The generator must produce both outcomes in quantity, or the comparison says little.
    EXPECT_GT(matched, compared / 5);
    EXPECT_LT(matched, compared * 19 / 20);
    EXPECT_LT(gave_up, compared / 100);
}

TEST(MatchDifferential, LeftmostStartAgreesWithOniguruma) {
    CompareWithOniguruma(20261207, false);
}

// ^ after every line feed and $ before every line feed (LF mode) and at the end, as in Ruby.
TEST(MatchDifferential, AnchoredLeftmostStartAgreesWithOniguruma) {
    CompareWithOniguruma(7, true);
}

}  // namespace
}  // namespace brindle
